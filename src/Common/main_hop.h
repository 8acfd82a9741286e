#pragma once
// Work a controller queues on the main queue, dropped when the controller is gone by the
// time it would run (the window that owned it was closed while bus events were in flight).
// Declare it last among the controller's members: it goes first.

#include "platform/dispatch.h"

#include <memory>
#include <utility>

namespace zeta::common {

class MainHop {
public:
    template <class Task>
    void async(Task&& task) const {
        dispatch::mainQueue().async(
            [alive = std::weak_ptr<const int>(token_), task = std::forward<Task>(task)]() mutable {
                if (!alive.expired()) task();
            });
    }
    // As above; dropped runs instead when the owner is gone (to give back what the task holds).
    template <class Task, class Dropped>
    void async(Task&& task, Dropped&& dropped) const {
        dispatch::mainQueue().async([alive = std::weak_ptr<const int>(token_), task = std::forward<Task>(task),
                                     dropped = std::forward<Dropped>(dropped)]() mutable {
            if (alive.expired())
                dropped();
            else
                task();
        });
    }

private:
    std::shared_ptr<const int> token_ = std::make_shared<const int>(0);
};

} // namespace zeta::common
