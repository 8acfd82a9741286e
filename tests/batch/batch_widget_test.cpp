// The browser widget on screen (offscreen): buttons and table follow the controller, and a
// click on a row or a button loads the file into the image window.

#include "batch/batch_widget.h"

#include "batch_test_support.h"
#include "imaging/image.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

// Catches what the widget asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

namespace {

class BatchWidgetTest : public BatchTest {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "batch_widget_test";
        static char* argv[] = {name, nullptr};
        // No desktop session: the file viewer is reached through the folder's URL.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zeta-test-bus");
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        BatchTest::SetUp();
        widget = std::make_unique<BatchWidget>(*controller);
        controller->setImageHandler([this](std::shared_ptr<Image> image) { shown.push_back(std::move(image)); });
        widget->show();
    }
    void TearDown() override {
        widget.reset();
        BatchTest::TearDown();
    }
    void click(int row) {
        auto* table = widget->imagesTableView();
        const QRect cell = table->visualItemRect(table->item(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    }

    std::unique_ptr<BatchWidget> widget;
    std::vector<std::shared_ptr<Image>> shown;
};

TEST_F(BatchWidgetTest, BrowsesThreeSavedFiles) {
    EXPECT_FALSE(widget->previousButton()->isEnabled());
    EXPECT_FALSE(widget->showInFinderButton()->isEnabled());
    EXPECT_FALSE(widget->nextButton()->isEnabled());

    const auto fits =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits");
    controller->open();
    for (int i = 0; i < 3; ++i)
        save(fits, ".fits");
    settle();
    auto* table = widget->imagesTableView();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(2, 0)->text(), "IMG_003.fits");
    EXPECT_TRUE(table->item(2, 0)->isSelected());
    EXPECT_TRUE(widget->previousButton()->isEnabled());
    EXPECT_TRUE(widget->showInFinderButton()->isEnabled());
    EXPECT_FALSE(widget->nextButton()->isEnabled());

    click(0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->width(), 96);
    EXPECT_EQ(controller->current(), 0);
    EXPECT_FALSE(widget->previousButton()->isEnabled());
    EXPECT_TRUE(widget->nextButton()->isEnabled());

    QTest::mouseClick(widget->nextButton(), Qt::LeftButton);
    EXPECT_EQ(controller->current(), 1);
    EXPECT_TRUE(table->item(1, 0)->isSelected());
    EXPECT_FALSE(table->item(0, 0)->isSelected());
    EXPECT_EQ(shown.size(), 2u);

    widget->setFileChooser([&](const std::string& prompt, const std::optional<std::string>&) {
        EXPECT_EQ(prompt, "Select image");
        return std::optional<std::string>((folder / "IMG_003.fits").string());
    });
    QTest::mouseClick(widget->loadButton(), Qt::LeftButton);
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(controller->current(), 1);

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    QTest::mouseClick(widget->showInFinderButton(), Qt::LeftButton);
    EXPECT_EQ(catcher.opened.size(), 1u);
    const QRect cell = table->visualItemRect(table->item(2, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.opened.size(), 2u);
    EXPECT_EQ(catcher.opened[0], QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

} // namespace

#include "batch_widget_test.moc"
