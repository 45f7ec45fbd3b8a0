#include "platform/ui/Pasteboard.h"

#include "platform/foundation/PropertyList.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QList>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace platform {

namespace {

QString mimeTypeName(std::string_view type) {
    return QString::fromUtf8(type.data(), qsizetype(type.size()));
}

Bytes bytesOfText(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::optional<std::vector<PasteboardItem>> privatePasteboardItems(const QMimeData& mimeData) {
    const QByteArray raw = mimeData.data(mimeTypeName(pasteboardItemsMimeType));
    auto parsed = parsePlist(reinterpret_cast<const std::uint8_t*>(raw.constData()), std::size_t(raw.size()));
    if (!parsed || !parsed->asArray()) return std::nullopt;
    std::vector<PasteboardItem> items;
    for (const PlistValue& element : *parsed->asArray()) {
        const PlistDictionary* values = element.asDictionary();
        if (!values) return std::nullopt;
        PasteboardItem item;
        for (const auto& [type, value] : *values)
            if (const Bytes* data = value.asData()) item.setData(type, *data);
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace

void PasteboardItem::setData(std::string_view type, Bytes data) {
    auto found =
        std::find_if(values_.begin(), values_.end(), [&](const auto& value) { return value.first == type; });
    if (found != values_.end())
        found->second = std::move(data);
    else
        values_.emplace_back(std::string(type), std::move(data));
}

void PasteboardItem::setString(std::string_view type, std::string_view text) {
    setData(type, bytesOfText(text));
}

std::optional<Bytes> PasteboardItem::data(std::string_view type) const {
    for (const auto& [key, value] : values_)
        if (key == type) return value;
    return std::nullopt;
}

std::optional<std::string> PasteboardItem::string(std::string_view type) const {
    for (const auto& [key, value] : values_)
        if (key == type) return std::string(value.begin(), value.end());
    return std::nullopt;
}

std::vector<std::string> PasteboardItem::types() const {
    std::vector<std::string> types;
    for (const auto& value : values_)
        types.push_back(value.first);
    return types;
}

void Pasteboard::setString(std::string_view text) {
    PasteboardItem item;
    item.setString(PasteboardType::string, text);
    writeItems({std::move(item)});
}

std::optional<std::string> Pasteboard::string() const {
    auto all = items();
    if (all.empty()) return std::nullopt;
    return all.front().string(PasteboardType::string);
}

void Pasteboard::setFileUrls(const std::vector<Url>& urls) {
    std::vector<PasteboardItem> all;
    for (const Url& url : urls) {
        PasteboardItem item;
        item.setString(PasteboardType::fileUrl, url.absoluteString());
        all.push_back(std::move(item));
    }
    writeItems(std::move(all));
}

std::vector<Url> Pasteboard::fileUrls() const {
    std::vector<Url> urls;
    for (const PasteboardItem& item : items())
        if (auto text = item.string(PasteboardType::fileUrl))
            if (auto url = Url::fromAbsoluteString(*text)) urls.push_back(std::move(*url));
    return urls;
}

void Pasteboard::setData(std::string_view type, Bytes data) {
    PasteboardItem item;
    item.setData(type, std::move(data));
    writeItems({std::move(item)});
}

std::optional<Bytes> Pasteboard::data(std::string_view type) const {
    for (const PasteboardItem& item : items())
        if (auto value = item.data(type)) return value;
    return std::nullopt;
}

std::unique_ptr<QMimeData> makeMimeData(const std::vector<PasteboardItem>& items) {
    auto mimeData = std::make_unique<QMimeData>();
    QStringList texts;
    QList<QUrl> urls;
    PlistArray all;
    for (const PasteboardItem& item : items) {
        if (auto text = item.string(PasteboardType::string)) texts << QString::fromStdString(*text);
        auto urlText = item.string(PasteboardType::fileUrl);
        if (!urlText) urlText = item.string(PasteboardType::url);
        if (urlText) {
            QUrl url(QString::fromStdString(*urlText), QUrl::StrictMode);
            if (url.isValid()) urls << url;
        }
        PlistDictionary values;
        for (const std::string& type : item.types())
            values.append(type, PlistValue(*item.data(type)));
        all.emplace_back(std::move(values));
    }
    if (!texts.isEmpty()) mimeData->setText(texts.join(u'\n'));
    if (!urls.isEmpty()) mimeData->setUrls(urls);
    // A type name that is not UTF-8 cannot be stored; the standard forms above still are.
    if (auto encoded = serializeBinaryPlist(PlistValue(std::move(all))))
        mimeData->setData(
            mimeTypeName(pasteboardItemsMimeType),
            QByteArray(reinterpret_cast<const char*>(encoded->data()), qsizetype(encoded->size())));
    return mimeData;
}

std::vector<PasteboardItem> pasteboardItems(const QMimeData& mimeData) {
    if (mimeData.hasFormat(mimeTypeName(pasteboardItemsMimeType)))
        if (auto items = privatePasteboardItems(mimeData)) return std::move(*items);

    // From another program.
    std::vector<PasteboardItem> items;
    for (const QUrl& url : mimeData.urls()) {
        if (!url.isValid()) continue;
        PasteboardItem item;
        if (url.isLocalFile()) {
            const std::string path = url.toLocalFile().toStdString();
            if (path.empty()) continue;
            const std::string text = Url::fileURLWithPath(path).absoluteString();
            item.setString(PasteboardType::fileUrl, text);
            item.setString(PasteboardType::url, text);
        } else {
            item.setString(PasteboardType::url, url.toString(QUrl::FullyEncoded).toStdString());
        }
        items.push_back(std::move(item));
    }
    // text() would turn URLs into text as well; only real text counts.
    if (mimeData.hasFormat(QStringLiteral("text/plain"))) {
        if (items.empty()) items.emplace_back();
        items.front().setString(PasteboardType::string, mimeData.text().toStdString());
    }
    return items;
}

void QtPasteboard::clearContents() {
    QGuiApplication::clipboard()->clear();
}

void QtPasteboard::writeItems(std::vector<PasteboardItem> items) {
    if (items.empty()) {
        clearContents();
        return;
    }
    QGuiApplication::clipboard()->setMimeData(makeMimeData(items).release());
}

std::vector<PasteboardItem> QtPasteboard::items() const {
    const QMimeData* mimeData = QGuiApplication::clipboard()->mimeData();
    return mimeData ? pasteboardItems(*mimeData) : std::vector<PasteboardItem>();
}

} // namespace platform
