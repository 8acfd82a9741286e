// The property browser on the real widgets, offscreen, against a remote indiserver running
// the INDI telescope and CCD simulators.

#include "app/property_browser.h"
#include "app_fixture.h"
#include "indigo/indigo_remote.h"
#include "platform/constants.h"
#include "support/indi_server.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace app_test;
using zeta::app::PropertyBrowser;

namespace {

QModelIndex deviceRow(PropertyBrowser& browser, const QString& name) {
    auto* model = browser.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (model->data(index, Qt::DisplayRole).toString() == name) return index;
    }
    return {};
}

void clickRow(PropertyBrowser& browser, const QModelIndex& index) {
    browser.tree()->scrollTo(index);
    QTest::mouseClick(browser.tree()->viewport(), Qt::LeftButton, {}, browser.tree()->visualRect(index).center());
}

// Selects the property through the tree: its group opened, its row clicked.
void selectInTree(PropertyBrowser& browser, const std::shared_ptr<INDIGO::Property>& property) {
    // The tree hears of the property on the main queue, after the client's model.
    ASSERT_TRUE(waitFor([&] { return browser.model()->indexOf(property).isValid(); }));
    const QModelIndex row = browser.model()->indexOf(property);
    browser.tree()->expand(row.parent().parent());
    browser.tree()->expand(row.parent());
    clickRow(browser, browser.model()->indexOf(property));
    ASSERT_EQ(browser.selectedProperty(), property);
}

int rowOf(const std::shared_ptr<INDIGO::Property>& property, const std::string& item) {
    const auto& names = property->itemNames();
    return static_cast<int>(std::find(names.begin(), names.end(), item) - names.begin());
}

} // namespace

TEST(PropertyBrowser, BrowsesAndChangesTheSimulatorsOfARemoteServer) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    DEFAULTS().setBool(true, "enableBLOBTransfer");
    test_support::IndiServer peer({"indi_simulator_telescope", "indi_simulator_ccd"});
    ASSERT_TRUE(peer.waitUntilListening());
    Launch launch;
    INDIGO& client = *launch.delegate.indigo();
    PropertyBrowser& browser = *launch.window.propertyBrowser();
    browser.panel();

    indigo_server_entry* server = nullptr;
    ASSERT_EQ(indigo_connect_server(nullptr, "127.0.0.1", peer.port(), &server), INDIGO_OK);
    ASSERT_TRUE(waitFor([&] {
        return deviceRow(browser, "Telescope Simulator").isValid() && deviceRow(browser, "CCD Simulator").isValid();
    }));

    // Devices, groups and properties each sorted by name.
    QStringList devices;
    for (int row = 0; row < browser.model()->rowCount(); ++row)
        devices << browser.model()->data(browser.model()->index(row, 0), Qt::DisplayRole).toString();
    QStringList sorted = devices;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(devices, sorted);
    const QModelIndex telescope = deviceRow(browser, "Telescope Simulator");
    const auto scope = client.device("Telescope Simulator");
    ASSERT_TRUE(scope);
    std::vector<std::string> groups;
    for (const auto& [name, group] : scope->groups())
        groups.push_back(name);
    std::sort(groups.begin(), groups.end());
    ASSERT_EQ(browser.model()->rowCount(telescope), static_cast<int>(groups.size()));
    for (int row = 0; row < static_cast<int>(groups.size()); ++row)
        EXPECT_EQ(browser.model()->data(browser.model()->index(row, 0, telescope), Qt::DisplayRole).toString(),
                  QString::fromStdString(groups[static_cast<std::size_t>(row)]));

    // A click on the device opens it at its connection switches; a switch click connects it.
    clickRow(browser, telescope);
    ASSERT_TRUE(browser.selectedProperty());
    EXPECT_EQ(browser.selectedProperty()->name(), "CONNECTION");
    EXPECT_EQ(browser.propertyNameLabel()->text(),
              QString("Telescope Simulator \u2192 %1")
                  .arg(QString::fromStdString(browser.selectedProperty()->description())));
    EXPECT_EQ(browser.tree()->currentIndex(), browser.model()->indexOf(browser.selectedProperty()));
    const int connect = rowOf(browser.selectedProperty(), "CONNECTED");
    ASSERT_LT(connect, browser.itemsTable()->rowCount());
    ASSERT_NE(browser.itemsTable()->cellWidget(connect, 0), nullptr) << connect;
    auto* connectButton = browser.itemsTable()->cellWidget(connect, 0)->findChild<QCheckBox*>("switch");
    ASSERT_NE(connectButton, nullptr);
    EXPECT_FALSE(connectButton->isChecked());
    QTest::mouseClick(connectButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return scope->connected() && scope->property("EQUATORIAL_EOD_COORD") != nullptr; }));
    // The table follows the device's answer.
    ASSERT_TRUE(waitFor([&] {
        auto* cell = browser.itemsTable()->cellWidget(connect, 0);
        return cell != nullptr && cell->findChild<QCheckBox*>("switch")->isChecked();
    }));

    // Sexagesimal right ascension: shown as h:mm:ss, typed text survives updates while locked.
    const auto coordinates = scope->property("EQUATORIAL_EOD_COORD");
    ASSERT_NO_FATAL_FAILURE(selectInTree(browser, coordinates));
    const int ra = rowOf(coordinates, "RA");
    zeta::app::TextField* field = browser.editor(ra);
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(QRegularExpression("^\\d+:\\d\\d:\\d\\d$").match(field->text()).hasMatch())
        << field->text().toStdString();
    field->setFocus();
    ASSERT_TRUE(waitFor([&] { return browser.locked(); }));
    field->selectAll();
    QTest::keyClicks(field, "12:45:30");
    client.updateProperty(coordinates->property());
    dispatch::drainMainQueue();
    EXPECT_EQ(browser.editor(ra), field);
    EXPECT_EQ(field->text(), "12:45:30");
    const auto& red = GRAPH_COLOR_2();
    EXPECT_EQ(field->palette().color(QPalette::Text), QColor::fromRgbF(red.red, red.green, red.blue, red.alpha));

    // Set sends the typed hours as a number.
    QTest::mouseClick(browser.setButton(), Qt::LeftButton);
    EXPECT_FALSE(browser.locked());
    ASSERT_TRUE(waitFor([&] {
        const auto target = scope->property("TARGET_EOD_COORD");
        const auto item = target ? target->item<INDIGO::NumberItem>("RA") : nullptr;
        return item && std::abs(item->value() - (12.0 + 45.0 / 60 + 30.0 / 3600)) < 1e-3;
    })) << peer.log();

    // A CCD frame shows its picture, and Save writes the BLOB's bytes unchanged.
    client.changeSwitchProperty("CCD Simulator", "CONNECTION", "CONNECTED", true);
    const auto ccd = client.device("CCD Simulator");
    ASSERT_TRUE(
        waitFor([&] { return ccd->connected() && ccd->property("CCD_EXPOSURE") && ccd->property("CCD_IMAGE"); }));
    const auto frame = ccd->property("CCD_IMAGE");
    ASSERT_TRUE(frame);
    client.changeNumberProperty("CCD Simulator", "CCD_EXPOSURE", {{"EXPOSURE", 0.1}});
    const auto blob = frame->item<INDIGO::BLOBItem>(frame->itemNames().front());
    ASSERT_TRUE(waitFor([&] { return frame->state() == INDIGO_OK_STATE && !blob->value().empty(); }));
    ASSERT_NO_FATAL_FAILURE(selectInTree(browser, frame));
    auto* picture = browser.itemsTable()->cellWidget(0, 0)->findChild<QLabel*>("picture");
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_TRUE(browser.saveButton()->isEnabled());
    EXPECT_FALSE(browser.setButton()->isEnabled());

    test_support::TempDir folder("zeta-save");
    const std::string path = (folder.path() / "frame.fits").string();
    QString offered;
    browser.chooseSaveLocation = [&](const QString& type) {
        offered = type;
        return QString::fromStdString(path);
    };
    const zeta::platform::Data bytes = blob->value();
    QTest::mouseClick(browser.saveButton(), Qt::LeftButton);
    EXPECT_EQ(offered, "fits");
    std::ifstream saved(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    ASSERT_EQ(written.size(), bytes.length());
    EXPECT_EQ(written, std::string(reinterpret_cast<const char*>(bytes.bytes()), bytes.length()));

    // A place that can't be written is said, not passed over.
    browser.chooseSaveLocation = [&](const QString&) {
        return QString::fromStdString((folder.path() / "no" / "such" / "frame.fits").string());
    };
    QTest::mouseClick(browser.saveButton(), Qt::LeftButton);
    auto* alert = browser.findChild<QMessageBox*>("saveBlobAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    alert->accept();

    // A wider table makes the picture's row higher, in the picture's proportions.
    const QSize shown = browser.itemsTable()->cellWidget(0, 0)->findChild<QLabel*>("picture")->pixmap().size();
    ASSERT_GT(shown.width(), 0);
    const auto expectedHeight = [&] {
        return static_cast<int>(double(browser.itemsTable()->viewport()->width() + 5) / shown.width() * shown.height());
    };
    const int before = browser.itemsTable()->rowHeight(0);
    browser.resize(browser.width() + 300, browser.height());
    ASSERT_TRUE(waitFor([&] { return browser.itemsTable()->rowHeight(0) == expectedHeight(); }))
        << browser.itemsTable()->rowHeight(0) << " for " << expectedHeight();
    EXPECT_GT(browser.itemsTable()->rowHeight(0), before);

    // The keyboard moves through the tree as clicks do.
    const auto exposure = ccd->property("CCD_EXPOSURE");
    ASSERT_NO_FATAL_FAILURE(selectInTree(browser, exposure));
    const QModelIndex below = browser.tree()->indexBelow(browser.model()->indexOf(exposure));
    const auto next = browser.model()->propertyAt(below);
    ASSERT_TRUE(next);
    browser.tree()->setFocus();
    QTest::keyClick(browser.tree(), Qt::Key_Down);
    EXPECT_EQ(browser.selectedProperty(), next);
    EXPECT_TRUE(browser.propertyNameLabel()->text().endsWith(QString::fromStdString(next->description())));
    QTest::keyClick(browser.tree(), Qt::Key_Up);
    EXPECT_EQ(browser.selectedProperty(), exposure);

    // Letters in a number are refused before sending, with the reason; a number goes.
    const auto binning = ccd->property("CCD_BIN");
    ASSERT_TRUE(binning) << peer.log();
    ASSERT_NO_FATAL_FAILURE(selectInTree(browser, binning));
    const int binX = rowOf(binning, "HORIZONTAL");
    ASSERT_LT(binX, browser.itemsTable()->rowCount());
    const double binning0 = binning->item<INDIGO::NumberItem>("HORIZONTAL")->value();
    zeta::app::TextField* binField = browser.editor(binX);
    ASSERT_NE(binField, nullptr);
    binField->setFocus();
    binField->selectAll();
    QTest::keyClicks(binField, "abc");
    QTest::mouseClick(browser.setButton(), Qt::LeftButton);
    EXPECT_TRUE(browser.setErrorLabel()->isVisible());
    EXPECT_TRUE(browser.setErrorLabel()->text().contains("\"abc\" is not a number"))
        << browser.setErrorLabel()->text().toStdString();
    EXPECT_EQ(binField->text(), "abc");
    // Nothing went: the editor keeps its lock as before a Set.
    EXPECT_TRUE(browser.locked());
    binField->selectAll();
    QTest::keyClicks(binField, binning0 == 2 ? "1" : "2");
    QTest::mouseClick(browser.setButton(), Qt::LeftButton);
    EXPECT_FALSE(browser.setErrorLabel()->isVisible());
    ASSERT_TRUE(waitFor([&] {
        return binning->item<INDIGO::NumberItem>("HORIZONTAL")->value() == (binning0 == 2 ? 1 : 2);
    })) << peer.log();
}
