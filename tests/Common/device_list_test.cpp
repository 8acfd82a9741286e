#include "Common/device_list.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using zeta::common::DeviceList;

std::shared_ptr<INDIGO::Device> device(const std::string& name) {
    return std::make_shared<INDIGO::Device>(name);
}

TEST(DeviceList, ReplacingOrRemovingAnEntryKeepsTheSelectionOnItsOwnEntry) {
    // With a placeholder (the focuser's and wheel's popups) and without (the camera's).
    for (const bool placeholder : {true, false}) {
        SCOPED_TRACE(placeholder);
        DeviceList list = placeholder ? DeviceList("No focuser") : DeviceList();
        const std::vector<std::string> head =
            placeholder ? std::vector<std::string>{"No focuser"} : std::vector<std::string>{};
        const int offset = placeholder ? 1 : 0;
        EXPECT_EQ(list.selectedIndex(), placeholder ? 0 : -1);
        EXPECT_EQ(list.selectedDevice(), nullptr);

        const auto a = device("A"), b = device("B"), c = device("C");
        list.add(a);
        list.add(b);
        list.add(c);
        list.add(nullptr); // ignored
        list.selectItemWithTitle("C");
        EXPECT_EQ(list.selectedIndex(), offset + 2);

        // A again: its old entry goes, the new one comes last; C's entry moves up with it.
        const auto a2 = device("A");
        list.add(a2);
        auto titles = head;
        titles.insert(titles.end(), {"B", "C", "A"});
        EXPECT_EQ(list.titles(), titles);
        EXPECT_EQ(list.selectedDevice(), c);
        EXPECT_EQ(list.deviceAt(list.size() - 1), a2);

        list.remove("B");
        EXPECT_EQ(list.selectedTitle(), "C");
        list.remove("C"); // the selected entry goes: none is selected
        EXPECT_EQ(list.selectedIndex(), -1);
        EXPECT_EQ(list.selectedTitle(), "");

        // The placeholder stays whatever is removed.
        list.remove("No focuser");
        EXPECT_EQ(list.size(), static_cast<std::size_t>(offset + 1));
        list.select(5);
        EXPECT_EQ(list.selectedIndex(), -1);
        EXPECT_EQ(list.deviceAt(7), nullptr);
    }
}

} // namespace
