#include "Source/session/Attachment.h"

#include <gtest/gtest.h>

using platform::PlistDictionary;
using platform::PlistValue;
using platform::Url;
using vantle::Attachment;

namespace {

Url attachmentFile(std::string_view path) {
    return Url::fileURLWithPath(path, false);
}

struct AttachmentHolder {
    std::vector<std::shared_ptr<Attachment>> attachments;
    static AttachmentHolder decode(const platform::KeyedDecoder& d) {
        return {vantle::decodeAttachments(d, "sideDocuments")};
    }
};

} // namespace

TEST(Attachment, ButtonTextIsTheTagInTheFileNameOrTheKind) {
    const std::pair<const char*, const char*> titles[] = {{"Score (violin).pdf", "violin"},
                                                          {"a (b) c (d).mov", "b) c (d"},
                                                          {"intro().pdf", ""},
                                                          {"take.pdf", "pdf"},
                                                          {"half (open.pdf", "pdf"},
                                                          {"Chöre (Sopran 2).pdf", "Sopran 2"}};
    for (const auto& [name, title] : titles) {
        Attachment attachment(attachmentFile(std::string("/m/") + name), "pdf");
        EXPECT_EQ(attachment.buttonTitle(), title) << name;
        EXPECT_EQ(attachment.toolTip(), name);
    }
    // Equal when the files are.
    EXPECT_TRUE(Attachment(attachmentFile("/m/x.pdf"), "pdf") ==
                Attachment(attachmentFile("/m/x.pdf"), "score"));
    EXPECT_FALSE(Attachment(attachmentFile("/m/x.pdf"), "pdf") ==
                 Attachment(attachmentFile("/m/y.pdf"), "pdf"));
}

TEST(Attachment, CodingKeepsUrlAndTag) {
    auto original = std::make_shared<Attachment>(attachmentFile("/m/Score (violin).pdf"), "pdf");
    auto tree = platform::encodePlistValue(original);
    ASSERT_TRUE(tree);
    const PlistValue expected = PlistDictionary{
        {"url", PlistDictionary{{"relative", "file:///m/Score%20(violin).pdf"}}}, {"tag", "pdf"}};
    EXPECT_EQ(*tree, expected);
    auto back = platform::decodePlistValue<std::shared_ptr<Attachment>>(*tree);
    ASSERT_TRUE(back);
    EXPECT_TRUE(**back == *original);
    EXPECT_EQ((*back)->tag, "pdf");

    // Both keys are required, with the right kinds.
    for (const PlistDictionary& bad :
         {PlistDictionary{{"tag", "pdf"}}, PlistDictionary{{"url", "file:///m/a.pdf"}},
          PlistDictionary{{"url", "file:///m/a.pdf"}, {"tag", 3}},
          PlistDictionary{{"url", "/m/a.pdf"}, {"tag", "pdf"}}}) {
        EXPECT_FALSE(platform::decodePlistValue<std::shared_ptr<Attachment>>(bad));
    }
}

TEST(Attachment, LenientListDropsOnlyMalformedRecords) {
    PlistValue::Array records{
        PlistDictionary{{"url", PlistDictionary{{"relative", "file:///m/a.pdf"}}}, {"tag", "pdf"}},
        PlistDictionary{{"url", "file:///m/b.mp4"}}, // no tag
        "garbage",
        PlistDictionary{{"url", "http://example.com/c"}, {"tag", "web"}},
        PlistDictionary{{"url", "file:///m/d%20e.mp4"}, {"tag", "mp4"}},
    };
    auto decoded = platform::decodePlistValue<AttachmentHolder>(PlistDictionary{{"sideDocuments", records}});
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->attachments.size(), 2u);
    EXPECT_EQ(decoded->attachments[0]->url.path(), "/m/a.pdf");
    EXPECT_EQ(decoded->attachments[1]->url.path(), "/m/d e.mp4");
    EXPECT_EQ(decoded->attachments[1]->tag, "mp4");

    for (const PlistDictionary& container : {PlistDictionary{}, PlistDictionary{{"sideDocuments", "x"}},
                                             PlistDictionary{{"sideDocuments", 1}}}) {
        auto none = platform::decodePlistValue<AttachmentHolder>(container);
        ASSERT_TRUE(none);
        EXPECT_TRUE(none->attachments.empty());
    }
}
