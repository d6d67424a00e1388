#include <gtest/gtest.h>

#include <QUrl>

#include "rules/commandurl.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

// --- The command pattern ---------------------------------------------------------------

TEST(CommandPattern, SplitsAtTheFirstQuestionMark) {
    const auto command = matchCommandUrl(u"lyrev:play?http://host/a.pls?x=1?y=2"_s);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->command, u"play"_s);
    EXPECT_EQ(command->parameters, u"http://host/a.pls?x=1?y=2"_s);
}

TEST(CommandPattern, SchemeWordInAnyCaseCommandWordKeptAsWritten) {
    const auto upper = matchCommandUrl(u"LYREV:Play?x"_s);
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->command, u"Play"_s);
    EXPECT_TRUE(matchCommandUrl(u"LyRev:browse?x"_s));
}

TEST(CommandPattern, EmptyCommandAndEmptyParameters) {
    const auto bare = matchCommandUrl(u"lyrev:?"_s);
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->command.isEmpty());
    EXPECT_TRUE(bare->parameters.isEmpty());
    const auto play = matchCommandUrl(u"lyrev:play?"_s);
    ASSERT_TRUE(play);
    EXPECT_EQ(play->command, u"play"_s);
    EXPECT_TRUE(play->parameters.isEmpty());
}

TEST(CommandPattern, RejectsTextsThatAreNoCommandUrl) {
    EXPECT_FALSE(matchCommandUrl(u"lyrev:play"_s));                 // no "?"
    EXPECT_FALSE(matchCommandUrl(u"\"lyrev:play?x\""_s));           // quoted
    EXPECT_FALSE(matchCommandUrl(u" lyrev:play?x"_s));              // leading space
    EXPECT_FALSE(matchCommandUrl(u"http://host/?lyrev:play?x"_s));  // not at the start
    EXPECT_FALSE(matchCommandUrl(u"lyrevx:play?x"_s));
    EXPECT_FALSE(matchCommandUrl(QString()));
}

TEST(CommandPattern, LineBreaksEndTheMatch) {
    // "." stops at line breaks and "$" means the very end of the text.
    EXPECT_FALSE(matchCommandUrl(u"lyrev:play?x\n"_s));
    EXPECT_FALSE(matchCommandUrl(u"lyrev:pl\nay?x"_s));
    EXPECT_FALSE(matchCommandUrl(u"lyrev:play?a\nb"_s));
}

TEST(CommandPattern, CommandLineArgumentsJoinedBySpacesStayInTheParameters) {
    const auto command = matchCommandUrl(u"lyrev:play?http://host/a b c"_s);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->parameters, u"http://host/a b c"_s);
}

TEST(CommandPattern, BrowserUrlsAreRebuiltWithQueryAndFragmentAsEncoded) {
    const QUrl link(u"lyrev:play?http%3A%2F%2F127.0.0.1%3A8000%2Flive%3Fa%3D1%26b%3D2"_s);
    const auto command = matchCommandUrl(link);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->command, u"play"_s);
    EXPECT_EQ(command->parameters, u"http%3A%2F%2F127.0.0.1%3A8000%2Flive%3Fa%3D1%26b%3D2"_s);

    const auto withFragment = matchCommandUrl(QUrl(u"LYREV:browse?http://host/page#part"_s));
    ASSERT_TRUE(withFragment);
    EXPECT_EQ(withFragment->parameters, u"http://host/page#part"_s);

    EXPECT_FALSE(matchCommandUrl(QUrl(u"lyrev:play"_s)));
    EXPECT_FALSE(matchCommandUrl(QUrl(u"http://host/lyrev:play?x"_s)));
}

TEST(BrowseAndPlayPattern, SplitsPageAndMedia) {
    const auto parts = matchBrowseAndPlay(
        u"infopage=http%3A%2F%2Fa%2Fp%3Fx%3D1%26y%3D2"
        u"&media=http%3A%2F%2Fb%2Fs%26t"_s);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->page, u"http%3A%2F%2Fa%2Fp%3Fx%3D1%26y%3D2"_s);
    EXPECT_EQ(parts->media, u"http%3A%2F%2Fb%2Fs%26t"_s);
    // The page part ends at the first "&media="; the rest is the media part.
    const auto twice = matchBrowseAndPlay(u"InfoPage=p&MEDIA=m&media=n"_s);
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->page, u"p"_s);
    EXPECT_EQ(twice->media, u"m&media=n"_s);
}

TEST(BrowseAndPlayPattern, RejectsMalformedParameters) {
    EXPECT_FALSE(matchBrowseAndPlay(u"media=m&infopage=p"_s));
    EXPECT_FALSE(matchBrowseAndPlay(u"infopage=&media=m"_s));
    EXPECT_FALSE(matchBrowseAndPlay(u"infopage=p&media="_s));
    EXPECT_FALSE(matchBrowseAndPlay(u"infopage=p"_s));
    EXPECT_FALSE(matchBrowseAndPlay(QString()));
}

// --- unescapeURL ---------------------------------------------------------------------------

TEST(UnescapeURL, DecodesEscapesOnceAndUtf8SequencesOnly) {
    const struct {
        QString escaped;
        QString decoded;
    } cases[] = {
        {QString(), QString()},
        {u"http%3a%2F%2Fhost%2Fa%20b?q=%41#%42"_s, u"http://host/a b?q=A#B"_s},
        {u"a+b"_s, u"a+b"_s},
        {u"100%"_s, u"100%"_s},
        {u"%4"_s, u"%4"_s},
        {u"%zz%4g"_s, u"%zz%4g"_s},
        {u"%%41"_s, u"%A"_s},
        // Decoding is done once: an escaped "%" does not start a new escape.
        {u"%2541"_s, u"%41"_s},
        // Unescaped stream URLs stay as they are.
        {u"http://127.0.0.1:8000/live.mp3?sid=7&x=y+z"_s,
         u"http://127.0.0.1:8000/live.mp3?sid=7&x=y+z"_s},
        // UTF-8 sequences become characters; characters never escaped stay.
        {u"caf%C3%A9"_s, u"caf\u00e9"_s},
        {u"%E2%82%AC%F0%9F%8E%B5"_s, u"\u20ac\U0001F3B5"_s},
        {u"\u00e9t\u00e9%20"_s, u"\u00e9t\u00e9 "_s},
        // A Latin-1 byte stays escaped, so the URL still names the same byte.
        {u"caf%e9%20bar"_s, u"caf%e9 bar"_s},
        // A cut-short sequence, a stray continuation byte, an overlong form, a surrogate.
        {u"%C3"_s, u"%C3"_s},
        {u"%C3x"_s, u"%C3x"_s},
        {u"%A9%41"_s, u"%A9A"_s},
        {u"%C0%AF"_s, u"%C0%AF"_s},
        {u"%ED%A0%80"_s, u"%ED%A0%80"_s},
        {u"%F4%90%80%80"_s, u"%F4%90%80%80"_s},
        // A bad byte does not swallow the valid sequence after it.
        {u"%FF%C3%A9"_s, u"%FF\u00e9"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unescapeURL(c.escaped), c.decoded) << c.escaped.toStdString();
    }
}

TEST(UnescapeURL, DecodesVeryLongTexts) {
    const QString tail = u"%41"_s.repeated(5000);
    const QString decoded = unescapeURL(u"http://host/"_s + tail);
    EXPECT_EQ(decoded.size(), 12 + 5000);
    EXPECT_EQ(decoded, u"http://host/"_s + u"A"_s.repeated(5000));
}

// --- Scheme rules ----------------------------------------------------------------------

TEST(CommandPageUrl, AllowsWebPagesOnly) {
    for (const QString& url : {u"http://www.quillmoor.example/news.shtml"_s,
                               u"HTTPS://host:8443/"_s, u"about:blank"_s, u"About:Blank"_s}) {
        EXPECT_TRUE(isCommandPageUrl(url)) << url.toStdString();
    }
    for (const QString& url :
         {QString(), u"file:///etc/passwd"_s, u"javascript:alert(1)"_s, u"lyrev:play?x"_s,
          u"about:config"_s, u"http:relative"_s, u"www.quillmoor.example"_s}) {
        EXPECT_FALSE(isCommandPageUrl(url)) << url.toStdString();
    }
}

TEST(CommandMediaUrl, AllowsNetworkStreamsAndTheEmptyUrl) {
    EXPECT_TRUE(isCommandMediaUrl(QString()));
    for (const QString& url : {u"http://h/a.mp3"_s, u"https://h/a"_s, u"mms://h/a"_s,
                               u"MMSH://h:8080/a"_s, u"rtsp://192.0.2.1/a"_s}) {
        EXPECT_TRUE(isCommandMediaUrl(url)) << url.toStdString();
    }
    for (const QString& url :
         {u"file:///home/user/a.mp3"_s, u"/home/user/a.mp3"_s, u"ftp://h/a.mp3"_s, u"smb://h/a"_s,
          u"javascript:x"_s, u"http://"_s, u"a.mp3"_s}) {
        EXPECT_FALSE(isCommandMediaUrl(url)) << url.toStdString();
    }
}

}  // namespace
}  // namespace lyrevane
