#include "platform/ui/Pasteboard.h"

#include "tests/support/UiFakes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

using namespace platform;
using namespace testsupport;

namespace {

PasteboardItem pasteboardItem(std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
    PasteboardItem item;
    for (const auto& [type, text] : values)
        item.setString(type, text);
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

TEST(Pasteboard, ShorthandsReplaceTheItemsAndReadTheFirstThatHasTheirType) {
    FakePasteboard pasteboard;
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    EXPECT_EQ(pasteboard.data(PasteboardType::data), std::nullopt);
    pasteboard.setString("");
    EXPECT_EQ(pasteboard.string(), "");

    const std::vector<Url> files = {fileUrl("/music/a b.mp3"), fileUrl("/music/ü.m4a")};
    pasteboard.setFileUrls(files);
    EXPECT_EQ(pasteboard.fileUrls(), files);
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    pasteboard.setData(PasteboardType::data, Bytes{'1', '2'});
    EXPECT_EQ(pasteboard.data(PasteboardType::data), (Bytes{'1', '2'}));
    EXPECT_TRUE(pasteboard.fileUrls().empty());

    pasteboard.writeItems({pasteboardItem({{PasteboardType::string, "t"}}),
                           pasteboardItem({{PasteboardType::data, "4"}}),
                           pasteboardItem({{PasteboardType::data, "9"}})});
    EXPECT_EQ(pasteboard.data(PasteboardType::data), (Bytes{'4'}));
    EXPECT_EQ(pasteboard.string(), "t");
    // Items whose file URL text does not read as a file URL are left out.
    pasteboard.writeItems({pasteboardItem({{PasteboardType::fileUrl, "https://example.com/a.mp3"}}),
                           pasteboardItem({{PasteboardType::fileUrl, "file:///music/a%20b.mp3"}})});
    EXPECT_EQ(pasteboard.fileUrls(), std::vector<Url>{fileUrl("/music/a b.mp3")});
    pasteboard.clearContents();
    EXPECT_TRUE(pasteboard.items().empty());
    EXPECT_EQ(pasteboard.changeCount(), 6);
}

TEST(QtPasteboard, ItemsGoThroughTheSystemClipboard) {
    QtPasteboard pasteboard;
    const std::vector<PasteboardItem> rows = {
        pasteboardItem({{PasteboardType::data, "2"}}),
        pasteboardItem({{PasteboardType::data, "5"}, {PasteboardType::string, "Tango ♫"}})};
    pasteboard.writeItems(rows);
    EXPECT_EQ(pasteboard.items(), rows);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Tango ♫"));
    pasteboard.clearContents();
    EXPECT_TRUE(pasteboard.items().empty());
    pasteboard.setString("x");
    pasteboard.writeItems({});
    EXPECT_TRUE(pasteboard.items().empty());
}

TEST(PasteboardMimeData, RowDragsKeepEveryItemAndOtherProgramsSeeTheStandardForms) {
    const std::vector<PasteboardItem> items = {
        pasteboardItem({{PasteboardType::data, "3"}}), pasteboardItem({{PasteboardType::data, "7"}}),
        pasteboardItem(
            {{PasteboardType::fileUrl, "file:///music/song.mp3"}, {PasteboardType::string, "song"}})};
    auto mimeData = makeMimeData(items);
    EXPECT_TRUE(mimeData->hasFormat(QString::fromUtf8(pasteboardItemsMimeType.data())));
    EXPECT_EQ(mimeData->text(), QStringLiteral("song"));
    EXPECT_EQ(mimeData->urls(), QList<QUrl>{QUrl::fromLocalFile("/music/song.mp3")});
    EXPECT_EQ(pasteboardItems(*mimeData), items);
}

TEST(PasteboardMimeData, DropsFromOtherProgramsBecomeOneItemPerUrl) {
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile("/music/a.mp3"), QUrl::fromLocalFile("/music/Dances/"),
                     QUrl(QStringLiteral("https://example.com/a%20b"))});
    foreign.setText(QStringLiteral("dropped"));
    EXPECT_EQ(
        pasteboardItems(foreign),
        (std::vector<PasteboardItem>{pasteboardItem({{PasteboardType::fileUrl, "file:///music/a.mp3"},
                                                     {PasteboardType::url, "file:///music/a.mp3"},
                                                     {PasteboardType::string, "dropped"}}),
                                     pasteboardItem({{PasteboardType::fileUrl, "file:///music/Dances/"},
                                                     {PasteboardType::url, "file:///music/Dances/"}}),
                                     pasteboardItem({{PasteboardType::url, "https://example.com/a%20b"}})}));

    // URLs alone give no text, although QMimeData::text() would make one of them.
    QMimeData urlsOnly;
    urlsOnly.setUrls({QUrl::fromLocalFile("/music/a.mp3")});
    ASSERT_EQ(pasteboardItems(urlsOnly).size(), 1u);
    EXPECT_EQ(pasteboardItems(urlsOnly)[0].string(PasteboardType::string), std::nullopt);
    QMimeData textOnly;
    textOnly.setText(QStringLiteral("12"));
    EXPECT_EQ(pasteboardItems(textOnly),
              std::vector<PasteboardItem>{pasteboardItem({{PasteboardType::string, "12"}})});
    EXPECT_TRUE(pasteboardItems(QMimeData()).empty());
}

TEST(PasteboardMimeData, DamagedPrivateItemsFallBackToTheStandardForms) {
    for (const QByteArray& damaged :
         {QByteArray("bplist00garbage"), QByteArray(),
          QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>no array</string></plist>"),
          QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>no "
                     "dictionary</string></array></plist>")}) {
        QMimeData mimeData;
        mimeData.setData(QString::fromUtf8(pasteboardItemsMimeType.data()), damaged);
        mimeData.setUrls({QUrl::fromLocalFile("/music/a.mp3")});
        const auto items = pasteboardItems(mimeData);
        ASSERT_EQ(items.size(), 1u) << damaged.toStdString();
        EXPECT_EQ(items[0].string(PasteboardType::fileUrl), "file:///music/a.mp3");
    }
}
