// The `vog:` link parser: the forms it reads, and hostile links refused with their reason.
#include "app/VogLink.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

void expectAccepted(const std::vector<std::pair<std::string, VogLink>>& cases)
{
    for (const auto& [text, expected] : cases) {
        VogLinkParse parse = parseVogLink(text);
        EXPECT_TRUE(parse.accepted) << text << " was refused: " << parse.refusal;
        EXPECT_EQ(expected.theme, parse.link.theme) << text;
        EXPECT_EQ(expected.file, parse.link.file) << text;
        EXPECT_EQ(expected.member, parse.link.member) << text;
    }
}

// Every link is refused, with a reason that holds the given words.
void expectRefused(const char* reason, const std::vector<std::string>& links)
{
    for (const std::string& text : links) {
        VogLinkParse parse = parseVogLink(text);
        EXPECT_FALSE(parse.accepted) << text;
        EXPECT_NE(std::string::npos, parse.refusal.find(reason)) << text << " gave: " << parse.refusal;
    }
}

std::string withFile(const std::string& file)
{
    return "vog:open?theme=Manuals&file=" + file;
}

TEST(VogLinkTest, BothFormsInAnyLetterCase)
{
    expectAccepted({
        {"vog:open?theme=Manuals&file=guide.pdf", {"Manuals", "guide.pdf", ""}},
        {"vog://open/?theme=Manuals&file=book.rar&member=chapter1.txt", {"Manuals", "book.rar", "chapter1.txt"}},
        {"VOG://Open?file=guide.pdf&theme=Manuals", {"Manuals", "guide.pdf", ""}},
        {"Vog:OPEN?theme=Manuals&file=guide.pdf&member=", {"Manuals", "guide.pdf", ""}},
    });
    expectRefused("must start with", {"vog:open/?theme=M&file=a", "vog:///open/?theme=M&file=a", "vogs:open?theme=M&file=a",
                                      "http://open/?theme=M&file=a", "vog:opener?theme=M&file=a", "vog:open&theme=M"});
    expectRefused("#", {withFile("a.pdf#top"), withFile("a#b.pdf")});
}

TEST(VogLinkTest, PercentDecodingOnceAndPlusAsItself)
{
    expectAccepted({
        {"vog:open?th%65me=Hand%62%C3%BCcher&file=a%2bb+c.pdf", {"Handbücher", "a+b+c.pdf", ""}},
        {withFile("a%26b%3Dc%25.pdf"), {"Manuals", "a&b=c%.pdf", ""}},
        {withFile("docs%2Fa%5Cb.pdf"), {"Manuals", "docs/a\\b.pdf", ""}},
        {withFile("%252e%252e"), {"Manuals", "%2e%2e", ""}},
    });
    expectRefused("two hexadecimal digits",
                  {withFile("a%zz.pdf"), withFile("a.pdf%4"), withFile("a.pdf%"), withFile("%G1"), "vog:open?th%6=M"});
    expectRefused("NUL", {withFile("a%00.pdf"), "vog:open?theme=M%00&file=a"});
}

TEST(VogLinkTest, DecodedTextMustBeUtf8)
{
    expectAccepted({{withFile("%F0%9F%93%98%E2%82%AC%EF%BF%BD"), {"Manuals", "\xF0\x9F\x93\x98\xE2\x82\xAC\xEF\xBF\xBD", ""}}});
    expectRefused("not UTF-8", {
        withFile("%C0%AF"), withFile("%E0%80%AE"), withFile("%F0%8F%BF%BF"),  // overlong "/", "." and U+FFFF
        withFile("%ED%A0%80"), withFile("%ED%BF%BF"),                           // surrogates
        withFile("%F4%90%80%80"), withFile("%F5%80%80%80"), withFile("%FF"),    // above U+10FFFF
        withFile("%80a"), withFile("%E2%82"), withFile("a%C3"), withFile("\xC3(.pdf"),  // stray, cut
    });
    // Characters that make the name shown differ from the name opened: right-to-left override,
    // isolate, zero-width space, byte order mark, soft hyphen, delete, C1 control, tag letter.
    expectRefused("invisible", {
        withFile("report%E2%80%AEfdp.exe"), withFile("a%E2%81%A6b.pdf"), withFile("a%E2%80%8Bb.pdf"),
        withFile("%EF%BB%BFa.pdf"), withFile("a%C2%ADb.pdf"), withFile("a%C2%85b.pdf"), withFile("a%F3%A0%80%81.pdf"),
        withFile("a%7Fb.pdf"), "vog:open?theme=Man%E2%80%8Fuals&file=a.pdf", withFile("a.rar&member=b%E2%80%8D.txt"),
    });
}

TEST(VogLinkTest, ParametersAreKnownGivenOnceAndNotEmpty)
{
    expectRefused("twice", {withFile("a&file=a"), "vog:open?theme=M&file=a&member=&member=", "vog:open?theme=M&th%65me=M&file=a"});
    expectRefused("does not know", {withFile("a&Theme=M"), withFile("a&info=x"), withFile("a&file2=b"), "vog:open?x"});
    expectRefused("names no theme", {"vog:open", "vog://open/?", "vog:open?file=a", "vog:open?theme=&file=a"});
    expectRefused("names no file", {"vog:open?theme=M", "vog:open?theme=M&file="});
    expectRefused("empty parameter", {withFile("a&"), "vog:open?&theme=M&file=a", "vog:open?theme=M&&file=a"});
    expectRefused("no value", {"vog:open?theme&file=a"});
    expectRefused("control character", {withFile("a\n.pdf"), withFile("a\x7F"), "vog:open?theme=M%09&file=a"});
}

TEST(VogLinkTest, AtMost2048Characters)
{
    std::string prefix = "vog:open?file=a.pdf&theme=";
    std::string theme(2048 - prefix.size(), 't');
    expectAccepted({{prefix + theme, {theme, "a.pdf", ""}}});
    expectRefused("longer than 2,048", {prefix + theme + "t", prefix + theme + "\xC3\xA9"});

    // Characters, not bytes: a raw "é" is one.
    std::string accented;
    while (accented.size() / 2 < theme.size())
        accented += "\xC3\xA9";
    expectAccepted({{prefix + accented, {accented, "a.pdf", ""}}});
}

TEST(VogLinkTest, FileAndMemberArePlainNamesBelowTheirFolder)
{
    expectAccepted({
        {withFile("docs/sub\\guide.pdf&member=part%201\\ch.txt"), {"Manuals", "docs/sub\\guide.pdf", "part 1\\ch.txt"}},
        {withFile(".profile"), {"Manuals", ".profile", ""}},
        {withFile("CONFIG.SYS&member=COM10.txt"), {"Manuals", "CONFIG.SYS", "COM10.txt"}},
        {withFile(std::string(259, 'f')), {"Manuals", std::string(259, 'f'), ""}},
    });
    expectRefused("\"..\" part", {withFile("..\\secret.txt"), withFile("docs/../../x"), withFile("."), withFile("a/%2E%2E/b")});
    expectRefused("starts with a separator", {withFile("/etc/x"), withFile("%5Cx"), withFile("%5C%5Cserver%5Cshare%5Cx"),
                                              withFile("%5C%5C%3F%5CC:%5Cx")});
    expectRefused("\":\"", {withFile("C:x.pdf"), withFile("C:%5Cx.pdf"), withFile("guide.pdf:hidden")});
    expectRefused("device", {withFile("nul.txt"), withFile("COM1"), withFile("docs/con%20.txt"), withFile("lpt%C2%B9.log"),
                             withFile("CONOUT$"), withFile("lpt0"), withFile("a.rar&member=aux.txt")});
    expectRefused("ends in a dot or a space", {withFile("guide.pdf."), withFile("guide.pdf%20"), withFile("docs./a")});
    expectRefused("empty part", {withFile("docs//a"), withFile("docs/")});
    expectRefused("< > \" | ? *", {withFile("a*.pdf"), withFile("what%3F.pdf"), withFile("a%7Cb")});
    std::string emoji;  // 130 characters, 260 UTF-16 units
    for (int i = 0; i < 130; ++i)
        emoji += "%F0%9F%93%98";
    expectRefused("longer than 259", {withFile(std::string(260, 'f')), withFile(emoji), withFile("a.rar&member=" + emoji)});
    expectRefused("member name", {withFile("a.rar&member=..%5Cx"), withFile("a.rar&member=%5Cx")});
}

TEST(VogLinkTest, MadeLinkReadsBackAsItsParts)
{
    VogLink link{"Handbücher 2024", "a b/c+d&e=f%#.pdf", "ch 1/x~y.txt"};
    std::string text = makeVogLink(link);
    expectAccepted({{text, link}, {"vog://open/?" + text.substr(9), link}});
}

}  // namespace
