#pragma once
// What BatchController shows and asks through its window: the three browsing buttons, the
// table of saved files (its rows come from the controller's numberOfRows() and
// objectValue()), the open panel and the file viewer. Called on the main thread only.

#include <cstdint>
#include <optional>
#include <string>

class BatchView {
public:
    virtual ~BatchView() = default;

    virtual void setPreviousButtonEnabled(bool enabled) = 0;
    virtual void setShowInFinderButtonEnabled(bool enabled) = 0;
    virtual void setNextButtonEnabled(bool enabled) = 0;
    // Reloads the table's rows, selects exactly the row (none for -1) and scrolls it into view.
    virtual void reloadTable(std::int64_t selectedRow) = 0;
    // The open panel: the chosen file, or none when the user cancels.
    virtual std::optional<std::string> chooseFile(const std::string& prompt,
                                                  const std::optional<std::string>& startFolder) = 0;
    // Shows the file in the platform's file viewer, rooted at the folder.
    virtual void revealFile(const std::string& path, const std::string& rootFolder) = 0;
};
