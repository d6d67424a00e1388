#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace lyrevane {

// A "lyrev:" command URL split into its command word and parameter text.
struct CommandUrl {
    QString command;
    QString parameters;
};

// "lyrev:" + command word + "?" + parameter text; the scheme word in any letter case.
inline constexpr QStringView kCommandPattern = u"^lyrev:(.*?)\\?(.*)$";
inline constexpr QStringView kCommandScheme = u"lyrev";

// Matches `text` against the command pattern (whole text, "." stops at line breaks).
std::optional<CommandUrl> matchCommandUrl(const QString& text);

// The command a browser pane's navigation target names, if any: `url` must use the
// "lyrev" scheme and, rebuilt as text, match the command pattern.
std::optional<CommandUrl> matchCommandUrl(const QUrl& url);

// The text form of a URL as a browser pane reports it, for matching as a command:
// scheme, path, and the query and fragment exactly as encoded.
QString commandTextOf(const QUrl& url);

// Page and media parts of "browseandplay" parameters, each still escaped.
struct BrowseAndPlayParts {
    QString page;
    QString media;
};
std::optional<BrowseAndPlayParts> matchBrowseAndPlay(const QString& parameters);

// Replaces every "%" followed by two hex digits by that byte, in texts of any length.
// Decoded bytes that form UTF-8 become those characters; bytes that are not part of
// valid UTF-8 keep their escape as written, so the URL still names the same bytes.
// "+" stays "+"; a "%" without two hex digits stays as it is.
QString unescapeURL(const QString& text);

// Pages that commands may open in the main pane: http and https with a host, and
// "about:blank".
bool isCommandPageUrl(const QString& url);
// Media that commands may hand to the engine: network stream schemes with a host
// (http, https, mms, mmsh, rtsp), or the empty URL.
bool isCommandMediaUrl(const QString& url);

}  // namespace lyrevane
