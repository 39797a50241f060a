#include "services/resolver/page/ScriptMediaLinks.h"

#include "services/resolver/net/MediaTypes.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The string literal that starts at TEXT[START] (the quote), decoded, and
// the position behind its closing quote. A literal that runs past the end
// of its line, holds a template substitution or an escape a link would
// not hold gives an empty text.
qsizetype ReadLiteral(const QByteArray& text, qsizetype start, QByteArray& value)
{
    const char quote = text[start];
    value.clear();
    bool usable = true;
    qsizetype i = start + 1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == quote)
            return i + 1;
        if (c == '\n' || c == '\r') {
            value.clear();
            return i;  // an unclosed quote ends with its line ("don't" in a comment)
        }
        if (quote == '`' && c == '$' && i + 1 < text.size() && text[i + 1] == '{')
            usable = false;
        if (c != '\\') {
            if (usable && value.size() <= TScriptMediaLinks::MaxLinkBytes)
                value += c;
            continue;
        }
        if (++i >= text.size())
            break;
        const char escaped = text[i];
        if (escaped == 'u' && i + 4 < text.size()) {
            int code = 0;
            for (int k = 1; k <= 4; ++k) {
                const int digit = HexValue(text[i + k]);
                code = digit < 0 ? -1 : (code < 0 ? -1 : code * 16 + digit);
            }
            // Links are written in ASCII; "\u002F" is a slash.
            if (code > 0x20 && code < 0x7f)
                value += static_cast<char>(code);
            else
                usable = false;
            i += 4;
        } else if (escaped == '/' || escaped == '\\' || escaped == '\'' || escaped == '"' ||
                   escaped == '`') {
            value += escaped;
        } else {
            usable = false;
        }
    }
    if (!usable)
        value.clear();
    return i;
}

bool HasStreamName(const QByteArray& path)
{
    const QByteArray lower = path.toLower();
    const qsizetype slash = lower.lastIndexOf('/');
    const QByteArray name = lower.mid(slash + 1);
    return (name.endsWith(".m3u8") && name.size() > 5) ||
           (name.endsWith(".mpd") && name.size() > 4);
}

}  // namespace

void TScriptMediaLinks::Scan(const QByteArray& script)
{
    const qsizetype room = MaxScriptBytes - m_scanned;
    if (room <= 0 || m_links.size() >= MaxLinks)
        return;
    const QByteArray text = script.left(room);
    m_scanned += text.size();
    QByteArray value;
    for (qsizetype i = 0; i < text.size() && m_links.size() < MaxLinks;) {
        const char c = text[i];
        if (c != '\'' && c != '"' && c != '`') {
            ++i;
            continue;
        }
        i = ReadLiteral(text, i, value);
        if (!value.isEmpty())
            Consider(value);
    }
}

void TScriptMediaLinks::Consider(const QByteArray& text)
{
    if (text.size() > MaxLinkBytes)
        return;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '<' || c == '>')
            return;  // words, markup or a sentence, not a link
    }
    // http(s), protocol-relative or relative; no other scheme.
    const qsizetype colon = text.indexOf(':');
    const qsizetype slash = text.indexOf('/');
    if (colon >= 0 && (slash < 0 || colon < slash)) {
        const QByteArray scheme = text.left(colon).toLower();
        if (scheme != "http" && scheme != "https")
            return;
    }
    qsizetype pathEnd = text.size();
    for (const char stop : {'?', '#'}) {
        const qsizetype at = text.indexOf(stop);
        if (at >= 0 && at < pathEnd)
            pathEnd = at;
    }
    const QByteArray path = text.left(pathEnd);
    if (!HasMediaExtension(path) && !HasStreamName(path))
        return;
    for (const QByteArray& known : m_links) {
        if (known == text)
            return;
    }
    m_links.push_back(text);
}
