#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a call on the main thread (through a pipe watched by
// the event loop), for as long as the object lives.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace zeta::app {

class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals() override;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace zeta::app
