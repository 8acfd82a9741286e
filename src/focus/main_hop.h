#pragma once
// Work a controller queues on the main queue, dropped when the controller is gone by the
// time it would run (the window that owned it was closed while bus events were in flight).

#include "platform/dispatch.h"

#include <memory>
#include <utility>

namespace zeta::focus {

class MainHop {
public:
    template <class Task>
    void async(Task&& task) const {
        dispatch::mainQueue().async(
            [alive = std::weak_ptr<const int>(token_), task = std::forward<Task>(task)]() mutable {
                if (!alive.expired()) task();
            });
    }

private:
    std::shared_ptr<const int> token_ = std::make_shared<const int>(0);
};

} // namespace zeta::focus
