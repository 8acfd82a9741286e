#pragma once
// The focus-analysis panels of the image window as separate tool windows: PSF (fields, graph
// and magnified star), drift and Bahtinov. They only show what ImageController says.

#include <QLabel>
#include <QWidget>

// A tool window that hides while the application is inactive when asked to.
class FocusPanel : public QWidget {
    Q_OBJECT
public:
    FocusPanel(const QString& title, QWidget* parent);
    void setHidesOnDeactivate(bool hides) { hidesOnDeactivate_ = hides; }
    bool hidesOnDeactivate() const { return hidesOnDeactivate_; }
    // Shows the panel in front as the active window.
    void orderFront();

private:
    bool hidesOnDeactivate_ = true;
    bool hiddenForDeactivation_ = false;
};

class PsfPanel : public FocusPanel {
    Q_OBJECT
public:
    explicit PsfPanel(QWidget* parent = nullptr);
    QLabel* fwhmField;
    QLabel* hfdField;
    QLabel* peakField;
    QLabel* backgroundField;
    QLabel* psfImageView;
    QLabel* detailImageView;
};

class DriftPanel : public FocusPanel {
    Q_OBJECT
public:
    explicit DriftPanel(QWidget* parent = nullptr);
    QLabel* driftImageView;
    QLabel* driftAXField;
    QLabel* driftBXField;
};

class BahtinovPanel : public FocusPanel {
    Q_OBJECT
public:
    explicit BahtinovPanel(QWidget* parent = nullptr);
    QLabel* bahtinovImageView;
    QLabel* focusErrorField;
    QLabel* focusErrorUnitField;
    QLabel* cfzField;
};
