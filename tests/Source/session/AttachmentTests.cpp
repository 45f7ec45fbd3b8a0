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

TEST(Attachment, TagFromFileNameAndButtonTexts) {
    EXPECT_EQ(vantle::tagFromFileName("Score (violin).pdf"), "violin");
    EXPECT_EQ(vantle::tagFromFileName("a (b) c (d).mov"), "b) c (d");
    EXPECT_EQ(vantle::tagFromFileName("intro().pdf"), "");
    EXPECT_EQ(vantle::tagFromFileName("take.pdf"), std::nullopt);
    EXPECT_EQ(vantle::tagFromFileName("half (open.pdf"), std::nullopt);
    EXPECT_EQ(vantle::tagFromFileName("Chöre (Sopran 2).pdf"), "Sopran 2");

    Attachment score(attachmentFile("/m/Score (violin).pdf"), "pdf");
    EXPECT_EQ(score.buttonTitle(), "violin");
    EXPECT_EQ(score.toolTip(), "Score (violin).pdf");

    Attachment take(attachmentFile("/m/take.pdf"), "pdf");
    EXPECT_EQ(take.buttonTitle(), "pdf");
    EXPECT_EQ(take.toolTip(), "take.pdf");

    Attachment odd(attachmentFile("/m/a (b) c (d).mov"), "mov");
    EXPECT_EQ(odd.buttonTitle(), "b) c (d");
    Attachment empty(attachmentFile("/m/intro().pdf"), "pdf");
    EXPECT_EQ(empty.buttonTitle(), "");
}

TEST(Attachment, EqualityIsByUrl) {
    Attachment a(attachmentFile("/m/x.pdf"), "pdf");
    Attachment b(attachmentFile("/m/x.pdf"), "score");
    Attachment c(attachmentFile("/m/y.pdf"), "pdf");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
}

TEST(Attachment, CodingKeepsUrlAndTag) {
    auto original = std::make_shared<Attachment>(attachmentFile("/m/Score (violin).pdf"), "pdf");
    auto tree = platform::encodePlistValue(original);
    ASSERT_TRUE(tree);
    const PlistValue expected = PlistDictionary{
        {"url", PlistDictionary{{"relative", "file:///m/Score%20(violin).pdf"}}}, {"tag", "pdf"}};
    EXPECT_EQ(*tree, expected);

    auto bytes = platform::encodePlist(std::vector<std::shared_ptr<Attachment>>{original});
    ASSERT_TRUE(bytes);
    auto back = platform::decodePlist<std::vector<std::shared_ptr<Attachment>>>(*bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 1u);
    EXPECT_EQ((*back)[0]->url, original->url);
    EXPECT_EQ((*back)[0]->tag, "pdf");

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
