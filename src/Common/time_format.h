#pragma once
// A time-of-day format in the manner of the platform's date formatter, for the log: "HH" hours
// (00-23), "mm" minutes, "ss" seconds, "SSS" milliseconds, local time; every other character
// is copied as it is. An empty format gives the empty text.

#include <chrono>
#include <string>

class TimeFormat {
public:
    TimeFormat() = default;
    explicit TimeFormat(std::string format) : format_(std::move(format)) {}

    const std::string& format() const { return format_; }
    void setFormat(std::string format) { format_ = std::move(format); }

    std::string stringFromDate(std::chrono::system_clock::time_point time) const;

private:
    std::string format_;
};
