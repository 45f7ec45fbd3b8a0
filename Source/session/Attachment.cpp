#include "Source/session/Attachment.h"

#include "Source/session/UrlCoding.h"
#include "platform/foundation/Text.h"

#include <utility>

namespace vantle {

Attachment::Attachment(platform::Url url, std::string tag) : url(std::move(url)), tag(std::move(tag)) {}

Attachment::Attachment(const platform::KeyedDecoder& decoder)
    : url(decoder.decode<platform::Url>("url")), tag(decoder.decode<std::string>("tag")) {}

std::string Attachment::buttonTitle() const {
    return tagFromFileName(url.lastPathComponent()).value_or(tag);
}

std::string Attachment::toolTip() const {
    return url.lastPathComponent();
}

void Attachment::encode(platform::KeyedEncoder& encoder) const {
    encoder.encode("url", url);
    encoder.encode("tag", tag);
}

std::optional<std::string> tagFromFileName(std::string_view name) {
    auto match = platform::firstMatch(R"(\((.*)\))", name);
    if (!match || match->groups.size() < 2) return std::nullopt;
    return match->groups[1].text;
}

std::vector<std::shared_ptr<Attachment>> decodeAttachments(const platform::KeyedDecoder& decoder,
                                                           std::string_view key) {
    return decoder.decodeEachThatDecodes<std::shared_ptr<Attachment>>(key);
}

} // namespace vantle
