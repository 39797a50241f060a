#include "services/resolver/page/PageCandidates.h"

#include "services/resolver/net/MediaTypes.h"
#include "services/resolver/page/ScriptMediaLinks.h"
#include "services/resolver/stream/StreamLinks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QString>

#include <gumbo.h>

#include <array>
#include <memory>

namespace {

// The groups of candidates, in the order they are tried.
enum TCandidateGroup
{
    MediaElementGroup,
    OgVideoSecureGroup,
    OgVideoUrlGroup,
    OgVideoGroup,
    OgAudioGroup,
    TwitterStreamGroup,
    LinkVideoSrcGroup,
    EmbedGroup,
    JsonLdGroup,
    AnchorGroup,
    ScriptGroup,
    GroupCount
};

struct TMetaKey
{
    const char* Name;
    TCandidateGroup Group;
};

constexpr std::array<TMetaKey, 8> MetaKeys = {{
    {"og:video:secure_url", OgVideoSecureGroup},
    {"og:video:url", OgVideoUrlGroup},
    {"og:video", OgVideoGroup},
    {"og:audio", OgAudioGroup},
    {"og:audio:secure_url", OgAudioGroup},
    {"og:audio:url", OgAudioGroup},
    {"twitter:player:stream", TwitterStreamGroup},
    {"twitter:player:stream:url", TwitterStreamGroup},
}};

QByteArray Attribute(const GumboElement& element, const char* name)
{
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    // URL attributes may carry blanks around the link; HTML strips them.
    return attribute ? QByteArray(attribute->value).trimmed() : QByteArray();
}

bool HasRelToken(const QByteArray& rel, const QByteArray& token)
{
    for (const QByteArray& part : rel.toLower().simplified().split(' ')) {
        if (part == token)
            return true;
    }
    return false;
}

QByteArray ElementText(const GumboNode* node)
{
    QByteArray text;
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
            child->type == GUMBO_NODE_WHITESPACE)
            text += child->v.text.text;
    }
    return text;
}

void CollectContentUrls(const QJsonValue& value, std::vector<QByteArray>& out, int depth)
{
    if (depth > 32)
        return;
    if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            CollectContentUrls(item, out, depth + 1);
        return;
    }
    if (!value.isObject())
        return;
    const QJsonObject object = value.toObject();
    const QJsonValue contentUrl = object.value(QLatin1String("contentUrl"));
    if (contentUrl.isString()) {
        out.push_back(contentUrl.toString().toUtf8());
    } else if (contentUrl.isArray()) {
        for (const QJsonValue& item : contentUrl.toArray()) {
            if (item.isString())
                out.push_back(item.toString().toUtf8());
        }
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != QLatin1String("contentUrl"))
            CollectContentUrls(it.value(), out, depth + 1);
    }
}

// Depth-first in document order, without recursion: a deeply nested page
// must not exhaust the stack. The visitor returns false to stop the walk.
template <typename TVisitor>
void ForEachElement(const GumboNode* root, TVisitor visit)
{
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        if (!visit(node))
            return;
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
    }
}

class TCandidateCollector
{
public:
    explicit TCandidateCollector(const QUrl& pageUrl) : m_pageUrl(pageUrl), m_baseUrl(pageUrl) {}

    void Walk(const GumboNode* root)
    {
        ForEachElement(root, [this](const GumboNode* node) {
            Visit(node);
            return true;
        });
    }

    std::vector<QUrl> Result() const
    {
        std::vector<QUrl> result;
        QSet<QString> seen;
        auto groups = m_groups;
        groups[ScriptGroup] = m_scriptLinks.Links();
        for (const auto& group : groups) {
            for (const QByteArray& raw : group) {
                const QUrl url = Resolve(raw);
                if (!IsFetchableUrl(url))
                    continue;
                const QString key = url.toString(QUrl::FullyEncoded);
                if (seen.contains(key))
                    continue;
                seen.insert(key);
                result.push_back(url);
            }
        }
        return result;
    }

    // The first <base href> counts; it is itself relative to the page.
    void FindBase(const GumboNode* root)
    {
        ForEachElement(root, [this](const GumboNode* node) {
            if (node->v.element.tag != GUMBO_TAG_BASE)
                return true;
            const QByteArray href = Attribute(node->v.element, "href");
            if (href.isEmpty())
                return true;
            const QUrl base = m_pageUrl.resolved(QUrl(QString::fromUtf8(href)));
            if (base.isValid())
                m_baseUrl = base;
            return false;
        });
    }

private:
    void Add(TCandidateGroup group, const QByteArray& raw)
    {
        if (!raw.isEmpty())
            m_groups[group].push_back(raw);
    }

    QUrl Resolve(const QByteArray& raw) const
    {
        const QUrl relative(QString::fromUtf8(raw), QUrl::TolerantMode);
        if (!relative.isValid())
            return QUrl();
        return m_baseUrl.resolved(relative);
    }

    // Links that only count when they point at a media file by name.
    void AddMediaFile(TCandidateGroup group, const QByteArray& raw)
    {
        if (!raw.isEmpty() && HasMediaExtension(Resolve(raw)))
            Add(group, raw);
    }

    void Visit(const GumboNode* node)
    {
        const GumboElement& element = node->v.element;
        switch (element.tag) {
            case GUMBO_TAG_VIDEO:
            case GUMBO_TAG_AUDIO:
                Add(MediaElementGroup, Attribute(element, "src"));
                break;
            case GUMBO_TAG_SOURCE: {
                const GumboNode* parent = node->parent;
                const bool inMediaElement = parent && parent->type == GUMBO_NODE_ELEMENT &&
                                            (parent->v.element.tag == GUMBO_TAG_VIDEO ||
                                             parent->v.element.tag == GUMBO_TAG_AUDIO);
                const QByteArray type = Attribute(element, "type");
                if (inMediaElement && (IsPlayableSourceType(type) || IsStreamSourceType(type)))
                    Add(MediaElementGroup, Attribute(element, "src"));
                break;
            }
            case GUMBO_TAG_META: {
                QByteArray key = Attribute(element, "property").toLower();
                if (key.isEmpty())
                    key = Attribute(element, "name").toLower();
                for (const TMetaKey& metaKey : MetaKeys) {
                    if (key == metaKey.Name)
                        Add(metaKey.Group, Attribute(element, "content"));
                }
                break;
            }
            case GUMBO_TAG_LINK:
                if (HasRelToken(Attribute(element, "rel"), "video_src"))
                    Add(LinkVideoSrcGroup, Attribute(element, "href"));
                break;
            case GUMBO_TAG_EMBED:
                AddMediaFile(EmbedGroup, Attribute(element, "src"));
                break;
            case GUMBO_TAG_OBJECT:
                AddMediaFile(EmbedGroup, Attribute(element, "data"));
                break;
            case GUMBO_TAG_SCRIPT:
                if (MediaTypeOf(Attribute(element, "type")) == "application/ld+json")
                    AddJsonLd(ElementText(node));
                else if (Attribute(element, "src").isEmpty())
                    m_scriptLinks.Scan(ElementText(node));
                break;
            case GUMBO_TAG_A:
                AddMediaFile(AnchorGroup, Attribute(element, "href"));
                break;
            default:
                break;
        }
    }

    void AddJsonLd(const QByteArray& text)
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (error.error != QJsonParseError::NoError)
            return;
        std::vector<QByteArray> urls;
        CollectContentUrls(
            document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()), urls,
            0);
        for (const QByteArray& url : urls)
            Add(JsonLdGroup, url.trimmed());
    }

    QUrl m_pageUrl;
    QUrl m_baseUrl;
    std::array<std::vector<QByteArray>, GroupCount> m_groups;
    // Links in the page's own scripts: tried after every other group.
    TScriptMediaLinks m_scriptLinks;
};

struct TGumboOutputDeleter
{
    void operator()(GumboOutput* output) const
    {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

}  // namespace

std::vector<QUrl> FindMediaCandidates(const QByteArray& html, const QUrl& pageUrl)
{
    // Parse errors are of no use here, and recording them costs a copy of the
    // open-element stack each: a badly nested page would eat the memory.
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    std::unique_ptr<GumboOutput, TGumboOutputDeleter> output(
        gumbo_parse_with_options(&options, html.constData(), static_cast<size_t>(html.size())));
    if (!output)
        return {};
    TCandidateCollector collector(pageUrl);
    collector.FindBase(output->root);
    collector.Walk(output->root);
    return collector.Result();
}
