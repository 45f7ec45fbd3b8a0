#include "platform/ui/Pasteboard.h"

#include "platform/ui/Fakes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

using namespace platform;

namespace {

PasteboardItem rowItem(std::string_view row) {
    PasteboardItem item;
    item.setString(PasteboardType::data, row);
    return item;
}

Url fileUrl(const std::string& path) {
    return Url::fileURLWithPath(path, false);
}

} // namespace

TEST(PasteboardItem, KeepsOneValuePerTypeInTheOrderFirstSet) {
    PasteboardItem item;
    item.setString(PasteboardType::string, "first");
    item.setData("com.fennorastudio.blob", Bytes{0, 1, 255});
    item.setString(PasteboardType::string, "second");
    EXPECT_EQ(item.types(), (std::vector<std::string>{"public.utf8-plain-text", "com.fennorastudio.blob"}));
    EXPECT_EQ(item.string(PasteboardType::string), "second");
    EXPECT_EQ(item.data("com.fennorastudio.blob"), (Bytes{0, 1, 255}));
    EXPECT_EQ(item.data(PasteboardType::data), std::nullopt);
}

TEST(QtPasteboard, TextFileUrlsAndPrivateDataRoundTripThroughTheClipboard) {
    QtPasteboard pasteboard;

    pasteboard.setString("Waltz\nTango ♫");
    EXPECT_EQ(pasteboard.string(), "Waltz\nTango ♫");
    // Other programs read it as plain text.
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Waltz\nTango ♫"));

    const std::vector<Url> files = {fileUrl("/music/a b.mp3"), fileUrl("/music/ü.m4a")};
    pasteboard.setFileUrls(files);
    EXPECT_EQ(pasteboard.fileUrls(), files);
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    const QMimeData* shared = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(shared, nullptr);
    ASSERT_EQ(shared->urls().size(), 2);
    EXPECT_EQ(shared->urls()[0].toLocalFile(), QStringLiteral("/music/a b.mp3"));
    EXPECT_EQ(shared->urls()[1].toLocalFile(), QStringLiteral("/music/ü.m4a"));

    pasteboard.setData(PasteboardType::data, Bytes{'1', '2'});
    EXPECT_EQ(pasteboard.data(PasteboardType::data), (Bytes{'1', '2'}));
    EXPECT_TRUE(pasteboard.fileUrls().empty());

    std::vector<PasteboardItem> rows = {rowItem("2"), rowItem("5"), rowItem("12")};
    rows[1].setString(PasteboardType::string, "e5");
    pasteboard.writeItems(rows);
    EXPECT_EQ(pasteboard.items(), rows);

    pasteboard.clearContents();
    EXPECT_TRUE(pasteboard.items().empty());
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    pasteboard.setString("x");
    pasteboard.writeItems({});
    EXPECT_TRUE(pasteboard.items().empty());
}

TEST(PasteboardMimeData, RowDragsKeepEveryItemAndOtherProgramsSeeTheStandardForms) {
    std::vector<PasteboardItem> items = {rowItem("3"), rowItem("7")};
    PasteboardItem file;
    file.setString(PasteboardType::fileUrl, fileUrl("/music/song.mp3").absoluteString());
    file.setString(PasteboardType::string, "song");
    items.push_back(file);

    auto mimeData = makeMimeData(items);
    EXPECT_TRUE(mimeData->hasFormat(QString::fromUtf8(pasteboardItemsMimeType.data())));
    EXPECT_EQ(mimeData->text(), QStringLiteral("song"));
    ASSERT_EQ(mimeData->urls().size(), 1);
    EXPECT_EQ(mimeData->urls()[0].toLocalFile(), QStringLiteral("/music/song.mp3"));

    EXPECT_EQ(pasteboardItems(*mimeData), items);
}

TEST(PasteboardMimeData, DropsFromOtherProgramsBecomeOneItemPerUrl) {
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile("/music/a.mp3"), QUrl::fromLocalFile("/music/Dances/"),
                     QUrl(QStringLiteral("https://example.com/a%20b"))});
    foreign.setText(QStringLiteral("dropped"));

    auto items = pasteboardItems(foreign);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].string(PasteboardType::fileUrl), "file:///music/a.mp3");
    EXPECT_EQ(items[0].string(PasteboardType::url), "file:///music/a.mp3");
    EXPECT_EQ(items[0].string(PasteboardType::string), "dropped");
    EXPECT_EQ(items[1].string(PasteboardType::fileUrl), "file:///music/Dances/");
    EXPECT_EQ(items[2].string(PasteboardType::fileUrl), std::nullopt);
    EXPECT_EQ(items[2].string(PasteboardType::url), "https://example.com/a%20b");
    EXPECT_EQ(items[2].string(PasteboardType::data), std::nullopt);

    // URLs alone give no text, although QMimeData::text() would make one of them.
    QMimeData urlsOnly;
    urlsOnly.setUrls({QUrl::fromLocalFile("/music/a.mp3")});
    ASSERT_EQ(pasteboardItems(urlsOnly).size(), 1u);
    EXPECT_EQ(pasteboardItems(urlsOnly)[0].string(PasteboardType::string), std::nullopt);

    QMimeData textOnly;
    textOnly.setText(QStringLiteral("12"));
    ASSERT_EQ(pasteboardItems(textOnly).size(), 1u);
    EXPECT_EQ(pasteboardItems(textOnly)[0].string(PasteboardType::string), "12");

    EXPECT_TRUE(pasteboardItems(QMimeData()).empty());
}

TEST(PasteboardMimeData, DamagedPrivateItemsFallBackToTheStandardForms) {
    const QString privateType = QString::fromUtf8(pasteboardItemsMimeType.data());
    for (const QByteArray& damaged :
         {QByteArray("bplist00garbage"), QByteArray(),
          QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>no array</string></plist>"),
          QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>no "
                     "dictionary</string></array></plist>")}) {
        QMimeData mimeData;
        mimeData.setData(privateType, damaged);
        mimeData.setUrls({QUrl::fromLocalFile("/music/a.mp3")});
        auto items = pasteboardItems(mimeData);
        ASSERT_EQ(items.size(), 1u) << damaged.toStdString();
        EXPECT_EQ(items[0].string(PasteboardType::fileUrl), "file:///music/a.mp3");
    }
}

TEST(FakePasteboard, ShorthandsWorkOnItsItemsAndChangesAreCounted) {
    FakePasteboard pasteboard;
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    EXPECT_EQ(pasteboard.data(PasteboardType::data), std::nullopt);

    pasteboard.clearContents();
    pasteboard.setString("");
    EXPECT_EQ(pasteboard.string(), "");
    EXPECT_EQ(pasteboard.changeCount(), 2);

    // The data shorthand finds the first item that has the type, not only the first item.
    PasteboardItem textOnly;
    textOnly.setString(PasteboardType::string, "t");
    pasteboard.writeItems({textOnly, rowItem("4"), rowItem("9")});
    EXPECT_EQ(pasteboard.data(PasteboardType::data), (Bytes{'4'}));
    EXPECT_EQ(pasteboard.string(), "t");

    // Items whose file URL text does not read as a file URL are left out.
    PasteboardItem web;
    web.setString(PasteboardType::fileUrl, "https://example.com/a.mp3");
    PasteboardItem local;
    local.setString(PasteboardType::fileUrl, "file:///music/a%20b.mp3");
    pasteboard.writeItems({web, local});
    EXPECT_EQ(pasteboard.fileUrls(), std::vector<Url>{fileUrl("/music/a b.mp3")});
    EXPECT_EQ(pasteboard.changeCount(), 4);
}
