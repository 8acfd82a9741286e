#pragma once
// A recording stand-in for the image window's widgets: keeps what the controller shows and
// answers its questions with plain fields.

#include "image_window/image_window_view.h"

#include <map>
#include <set>

class RecordingView : public zeta::imaging::ImageWindowView {
public:
    using Field = zeta::imaging::Field;
    using Control = zeta::imaging::Control;
    using PictureOutlet = zeta::imaging::PictureOutlet;
    using Panel = zeta::imaging::Panel;

    RecordingView() {
        for (const auto c : {Control::BlackSlider, Control::WhiteSlider, Control::BlackStepper, Control::WhiteStepper})
            maxima[c] = 255;
    }

    std::set<Field> missingFields;
    std::set<PictureOutlet> missingPictures;
    std::set<Panel> missingPanels;
    std::map<Field, std::string> texts;
    std::map<Field, zeta::platform::Color> colors;
    std::map<Control, bool> enabled, states;
    std::map<Control, double> values, maxima, increments;
    zeta::imaging::Size scrollSize{1000, 700};
    std::shared_ptr<zeta::platform::Picture> rendering;
    double scale = 0;
    zeta::imaging::Size frame;
    std::optional<zeta::imaging::Point> pointMarker;
    std::optional<zeta::imaging::Rect> frameMarker;
    int redraws = 0;
    std::shared_ptr<zeta::platform::Picture> histogram;
    std::map<PictureOutlet, std::shared_ptr<const zeta::imaging::Drawing>> drawings;
    std::map<Panel, bool> visible;
    std::map<Panel, bool> hidesOnDeactivate;

    bool hasField(Field f) const override { return !missingFields.count(f); }
    bool hasPicture(PictureOutlet p) const override { return !missingPictures.count(p); }
    bool hasPanel(Panel p) const override { return !missingPanels.count(p); }
    void setText(Field f, const std::string& text) override { texts[f] = text; }
    void setTextColor(Field f, const zeta::platform::Color& c) override { colors[f] = c; }
    void setEnabled(Control c, bool on) override { enabled[c] = on; }
    void setState(Control c, bool on) override { states[c] = on; }
    double value(Control c) const override { return values.count(c) ? values.at(c) : 0; }
    // Like a slider or stepper: the value stays within 0 ... maximum.
    void setValue(Control c, double v) override { values[c] = std::clamp(v, 0.0, maximum(c)); }
    double maximum(Control c) const override { return maxima.count(c) ? maxima.at(c) : 0; }
    void setMaximum(Control c, double m) override {
        maxima[c] = m;
        values[c] = std::min(value(c), m);
    }
    void setIncrement(Control c, double i) override { increments[c] = i; }
    zeta::imaging::Size scrollViewSize() const override { return scrollSize; }
    void showRendering(std::shared_ptr<zeta::platform::Picture> r, double s, zeta::imaging::Size f) override {
        rendering = std::move(r);
        scale = s;
        frame = f;
    }
    void setMarkers(std::optional<zeta::imaging::Point> p, std::optional<zeta::imaging::Rect> r) override {
        pointMarker = p;
        frameMarker = r;
    }
    void redrawImageView() override { ++redraws; }
    void showHistogram(std::shared_ptr<zeta::platform::Picture> h) override { histogram = std::move(h); }
    void showDrawing(PictureOutlet p, std::shared_ptr<const zeta::imaging::Drawing> d) override { drawings[p] = d; }
    bool panelVisible(Panel p) const override { return visible.count(p) && visible.at(p); }
    void orderFront(Panel p, bool hides) override {
        visible[p] = true;
        hidesOnDeactivate[p] = hides;
    }
};
