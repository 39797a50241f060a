#pragma once

// Media links written in a page's own scripts, where a player is set up by
// code instead of markup: hls.loadSource('hls/index.m3u8'),
// dashjs.MediaPlayer().initialize(el, 'x.mpd', true), src: "...", file: '...'.
// Every quoted string that is an http(s) or relative link whose path ends in
// a media or stream extension counts, in the order the scripts hold them.
// The work is bounded: the scripts' bytes looked at and the links kept.

#include <QByteArray>

#include <vector>

class TScriptMediaLinks
{
public:
    // Bytes of all of a page's scripts together that are looked at.
    static constexpr qsizetype MaxScriptBytes = 1024 * 1024;
    static constexpr std::size_t MaxLinks = 16;
    static constexpr qsizetype MaxLinkBytes = 2048;

    // Adds the links of one script (its text as the page holds it).
    void Scan(const QByteArray& script);

    // The links as written (escapes such as "\/" undone), not yet resolved.
    const std::vector<QByteArray>& Links() const { return m_links; }

private:
    void Consider(const QByteArray& text);

    qsizetype m_scanned = 0;
    std::vector<QByteArray> m_links;
};
