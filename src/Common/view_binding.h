#pragma once
// A window's place as its controller's view: taken once the window's controls exist (bind),
// given up when the window goes, so that a controller never calls a destroyed view.
//
//     zeta::common::ViewBinding<&WheelController::setView> binding_{controller_};
//     ... at the end of the constructor: binding_.bind(this);

namespace zeta::common {

namespace detail {
template <class Setter>
struct ViewSetter;
template <class C, class V>
struct ViewSetter<void (C::*)(V*)> {
    using Controller = C;
    using View = V;
};
} // namespace detail

template <auto Set>
class ViewBinding {
public:
    using Controller = typename detail::ViewSetter<decltype(Set)>::Controller;
    using View = typename detail::ViewSetter<decltype(Set)>::View;

    explicit ViewBinding(Controller& controller) : controller_(controller) {}
    ~ViewBinding() { (controller_.*Set)(nullptr); }
    ViewBinding(const ViewBinding&) = delete;
    ViewBinding& operator=(const ViewBinding&) = delete;

    void bind(View* view) { (controller_.*Set)(view); }

private:
    Controller& controller_;
};

} // namespace zeta::common
