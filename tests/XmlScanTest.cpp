#include "Common/Xml/XmlScan.h"
#include "Common/Xml/XmlRead.h"

#include <rapidxml/rapidxml.hpp>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

int TreeDepth(const rapidxml::xml_node<char>* node)
{
    int deepest = 0;
    for (const rapidxml::xml_node<char>* child = node->first_node(); child;
         child = child->next_sibling()) {
        if (child->type() == rapidxml::node_element) {
            const int depth = 1 + TreeDepth(child);
            deepest = depth > deepest ? depth : deepest;
        }
    }
    return deepest;
}

TEST(XmlNesting, CountsElementLevelsOnly)
{
    EXPECT_EQ(XmlParserDepth("", 10), 0);
    EXPECT_EQ(XmlParserDepth("<a/>", 10), 1);
    EXPECT_EQ(XmlParserDepth("<a></a>", 10), 1);
    EXPECT_EQ(XmlParserDepth("\xEF\xBB\xBF<?xml version='1.0'?><doc><list><item><name>x</name>"
                             "</item></list></doc>",
                             10),
              4);
    EXPECT_EQ(XmlParserDepth("<a><b/><b></b><b><c/></b></a>", 10), 3);
}

TEST(XmlNesting, MarkupInsideCommentsCdataPisDoctypeAndAttributesIsNotCounted)
{
    EXPECT_EQ(XmlParserDepth("<a><!-- <b><c> --></a>", 10), 1);
    EXPECT_EQ(XmlParserDepth("<a><![CDATA[<b><c>]]></a>", 10), 1);
    EXPECT_EQ(XmlParserDepth("<a><?pi <b><c> ?></a>", 10), 1);
    EXPECT_EQ(XmlParserDepth("<!DOCTYPE a [ <!ELEMENT a ANY> <!-- [ ] --> ]><a></a>", 10), 1);
    // RapidXML ends the document type at the first '>' outside nested brackets, quotes or not.
    EXPECT_EQ(XmlParserDepth("<!DOCTYPE a [ [ > ] <b><c> ]><a></a>", 10), 1);
    EXPECT_EQ(XmlParserDepth("<!DOCTYPE a [ ' ]><a><b></b></a>", 10), 2);
    EXPECT_EQ(XmlParserDepth("<a x='>' y=\"<b>\"><b></b></a>", 10), 2);
    EXPECT_EQ(XmlParserDepth("<a><b/></a>", 1), 2) << "an empty element one level down counts";
}

TEST(XmlNesting, StopsJustPastTheLimit)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    EXPECT_EQ(XmlParserDepth(deep.c_str(), 256), 257);
    EXPECT_EQ(XmlParserDepth(deep.c_str(), 100000), 100000) << "unclosed, but that deep";
}

// Texts built from pieces that the two readers could easily tell apart differently; wherever
// the parser accepts one, the walk must find the same depth as the parsed tree has.
TEST(XmlNesting, AgreesWithTheParsedTreeOnRandomTexts)
{
    const char* pieces[] = {"<a>",
                            "</a>",
                            "<b x='>'>",
                            "</b>",
                            "<c/>",
                            "<!-- <a> -->",
                            "<![CDATA[</a><a>]]>",
                            "<?p <a>?>",
                            "text",
                            " ",
                            "&amp;",
                            "<d y=\"<\"/>",
                            "</b >",
                            "<!DOCTYPE q [<!ENTITY e '<a>'>]>",
                            "<!DOCTYPE r [<!ENTITY q \"]\">]>",
                            "<!DOCTYPE s SYSTEM \"><a>\">",
                            "<?xml version='1.0'?>",
                            "<e'/>",
                            "<f g\"h='>'/>",
                            "<!x <a>>"};
    std::mt19937 random(7);
    int accepted = 0;
    testing::internal::CaptureStderr(); // the parser reports every rejected text
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % (sizeof pieces / sizeof *pieces)];
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back(0);
        const int walked = XmlParserDepth(text.c_str(), 1000);
        rapidxml::xml_document<char> document;
        try {
            document.parse<rapidxml::parse_full>(buffer.data());
        } catch (const XmlParseAbort&) {
            continue;
        }
        ++accepted;
        if (walked != TreeDepth(&document)) {
            testing::internal::GetCapturedStderr();
            FAIL() << text << ": walked " << walked << ", tree " << TreeDepth(&document);
        }
    }
    testing::internal::GetCapturedStderr();
    EXPECT_GT(accepted, 1000);
}

} // namespace

namespace {

TEST(XmlScan, DecodesEveryCharacterReferenceOneWay)
{
    const struct
    {
        const char* text;
        std::uint32_t character;
        std::size_t length; // of what the decoder read
    } cases[] = {
        {"&#60;", '<', 5},
        {"&#0060;", '<', 7},
        {"&#x3c;", '<', 6},
        {"&#x03C;", '<', 7},
        {"&#x000000003C;", '<', 14},
        {"&#0;", 0, 4},
        {"&#x10FFFF;", 0x10FFFF, 10},
        {"&#x110000;", 0x110000, 10},
        {"&#99999999999999999999;", 0x110000, 23},
        {"&#x;", kNotACharacter, 3},
        {"&#;", kNotACharacter, 2},
        {"&#12", kNotACharacter, 4},
        {"&#1a;", kNotACharacter, 3},
        {"&#X3C;", kNotACharacter, 2},
    };
    for (const auto& c : cases) {
        const char* next = nullptr;
        const char* end = c.text + std::strlen(c.text);
        EXPECT_EQ(DecodeCharacterReference(c.text, end, &next), c.character) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(next - c.text), c.length) << c.text;
    }
}

TEST(XmlScan, TellsWhyAndWhereItStops)
{
    const struct
    {
        const char* text;
        XmlScan::Verdict verdict;
        std::size_t stop;
        int depth;
    } cases[] = {
        {"<a>&#x1;</a>", XmlScan::ForbiddenCharacter, 3, 1},
        {"<a>\x01</a>", XmlScan::ForbiddenCharacter, 3, 0},
        {"<a>\xED\xA0\x80</a>", XmlScan::ForbiddenCharacter, 3, 0},
        {"<a>\xEF\xBF\xBF</a>", XmlScan::ForbiddenCharacter, 3, 0},
        {"<a>\xEF\xBF\xBD</a>", XmlScan::Complete, 10, 1},
        {"<a>&b;</a>", XmlScan::Complete, 10, 2},
        {"<a>&lt;&gt;&amp;&quot;&apos;&#65;</a>", XmlScan::Complete, 37, 1},
        {"<a>&#;</a>", XmlScan::NotXml, 3, 1},
        {"<!DOCTYPE a [<!ENTITY q \"]\">]><a>&q;</a>", XmlScan::Complete, 40, 2},
        {"<!DOCTYPE a [<!ENTITY q \"]>\">]><a/>", XmlScan::Complete, 35, 1},
        {"<!DOCTYPE a [<!ENTITY e \"<b>&#60;c/></b>\">]><a>&e;</a>", XmlScan::Complete, 54, 4},
        {"<!DOCTYPE a [<!ENTITY e \"x\"><!ENTITY f \"&e;&e;\">]><a>&f;</a>", XmlScan::Complete, 60,
         3},
        {"<!DOCTYPE a [<!ENTITY e \"&f;\"><!ENTITY f \"&e;\">]><a>&e;</a>",
         XmlScan::RecursiveEntity, 25, 1},
        {"<!DOCTYPE a [<!ENTITY % p \"<!ENTITY e 'x'>\"> %p;]><a>&e;</a>", XmlScan::Complete, 60,
         2},
        // Parameter entities are referenced between declarations only: one anywhere inside a
        // declaration, also one a character reference spells, would be read as declarations the
        // scan cannot see.
        {"<!DOCTYPE a [<!ENTITY % p \"<!EN%p;TITY e 'x'>\"> %p;]><a/>",
         XmlScan::ParameterReferenceInDeclaration, 31, 0},
        {"<!DOCTYPE a [<!ENTITY % p \"%p;\"> %p;]><a/>", XmlScan::ParameterReferenceInDeclaration,
         27, 0},
        {"<!DOCTYPE a [<!ENTITY % p 'x'><!ENTITY e \"a%p;b\">]><a>&e;</a>",
         XmlScan::ParameterReferenceInDeclaration, 43, 0},
        {"<!DOCTYPE a [<!ELEMENT a %p;>]><a/>", XmlScan::ParameterReferenceInDeclaration, 25, 0},
        {"<!DOCTYPE a [<!ATTLIST a %p; CDATA 'x'>]><a/>", XmlScan::ParameterReferenceInDeclaration,
         25, 0},
        // In a default value, a system or a public identifier, XML sees no reference: it is text.
        {"<!DOCTYPE a [<!ATTLIST a b CDATA '%p;' c CDATA \"%p;\">]><a/>", XmlScan::Complete, 59, 1},
        {"<!DOCTYPE a [<!ENTITY e SYSTEM \"%p;\"><!NOTATION n PUBLIC '%p;'>]><a/>",
         XmlScan::Complete, 69, 1},
        // A default value's character references are read as in content.
        {"<!DOCTYPE a [<!ATTLIST a b CDATA 'x&#1;'>]><a/>", XmlScan::ForbiddenCharacter, 34, 0},
        {"<!DOCTYPE a [<!ENTITY % p \"<!ENTITY e '&#37;p;'>\"> %p;]><a/>",
         XmlScan::ParameterReferenceInDeclaration, 51, 0},
        {"<!DOCTYPE a [<!ENTITY % p \"<!ENTITY e 'x' \">%p;>]><a>&e;</a>",
         XmlScan::ParameterReferenceInDeclaration, 44, 0},
        {"<!DOCTYPE a [<!ENTITY e '50% off'><!ENTITY % p \"<!ENTITY f 'x'>\"> %p;]><a>&f;</a>",
         XmlScan::Complete, 81, 2},
        {"<!DOCTYPE a [ junk ]><a/>", XmlScan::NotXml, 14, 0},
        // RapidXML ends a later DOCTYPE at its first '>' outside brackets, quotes or not.
        {"<!DOCTYPE a><!DOCTYPE b SYSTEM '><a><a>'><a/>", XmlScan::MisplacedDoctype, 12, 0},
        {"<a><!DOCTYPE b></a>", XmlScan::MisplacedDoctype, 3, 1},
        {"<!DOCTYPE a [<!ENTITY e SYSTEM 'e'>]><a>&e;</a>", XmlScan::Complete, 47, 2},
    };
    for (const auto& c : cases) {
        const XmlScan scan = ScanXml(c.text, XmlScanLimits{10});
        EXPECT_EQ(scan.verdict, c.verdict) << c.text;
        EXPECT_EQ(scan.stop, c.stop) << c.text;
        EXPECT_EQ(scan.depth, c.depth) << c.text;
    }
}

// The search for forbidden characters reads the text in blocks: wherever a character falls in
// a block, and wherever the text starts in memory, it stops exactly where a plain walk over the
// characters stops, and at nothing that merely resembles one. The bytes before the text are
// suspects themselves and must not count. A text that starts just after a page nobody may read,
// or ends just before one, is read without touching either.
TEST(XmlScan, FindsAForbiddenCharacterWhereverItFallsInTheText)
{
    const struct
    {
        std::string character;
        bool forbidden;
    } characters[] = {
        {"\x01", true},          {"\x1F", true},          {"\xED\xA0\x80", true},
        {"\xED\xBF\xBF", true},  {"\xEF\xBF\xBE", true},  {"\xEF\xBF\xBF", true},
        {"\t\n\r", false},       {"\xED\x9F\xBF", false}, {"\xEF\xBF\xBD", false},
        {"\xEF\xBB\xBF", false}, {"\xC3\xA9", false},
    };
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    auto* const guarded = static_cast<char*>(
        ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(guarded, MAP_FAILED);
    ASSERT_EQ(::mprotect(guarded, page, PROT_NONE), 0);
    ASSERT_EQ(::mprotect(guarded + 2 * page, page, PROT_NONE), 0);
    char* const readable = guarded + page;

    for (const auto& c : characters) {
        for (std::size_t before = 0; before < 40; ++before) {
            const std::string text = "<a>" + std::string(before, 'x') + c.character + "</a>";
            auto check = [&](const char* at, const std::string& placement) {
                const XmlScan scan = ScanXml(at, XmlScanLimits{10});
                const std::string where =
                    c.character + " after " + std::to_string(before) + " letters, " + placement;
                if (c.forbidden) {
                    EXPECT_EQ(scan.verdict, XmlScan::ForbiddenCharacter) << where;
                    EXPECT_EQ(scan.stop, 3 + before) << where;
                } else {
                    EXPECT_EQ(scan.verdict, XmlScan::Complete) << where;
                }
            };
            for (std::size_t shift = 0; shift < 16; ++shift) {
                const std::string storage = std::string(shift, '\x01') + text;
                check(storage.c_str() + shift, std::to_string(shift) + " bytes in");
            }
            std::memcpy(readable, text.c_str(), text.size() + 1);
            check(readable, "first on its page");
            char* const last = readable + page - text.size() - 1;
            std::memcpy(last, text.c_str(), text.size() + 1);
            check(last, "last on its page");
        }
    }
    ::munmap(guarded, 3 * page);
}

// Every reference counts: the characters it brings in, the markup, and itself as a node.
TEST(XmlScan, CountsWhatEntityReferencesBringIn)
{
    const XmlScan scan = ScanXml("<!DOCTYPE a [<!ENTITY e \"<b/>xy\"><!ENTITY f \"&e;&#x3C;c/>\">]>"
                                 "<a>&f;&f;<x z='&e;'/></a>",
                                 XmlScanLimits{10});
    ASSERT_EQ(scan.verdict, XmlScan::Complete);
    EXPECT_EQ(scan.references, 2u * 2 + 1);
    // Inside f, e's reference node also holds e's name.
    EXPECT_EQ(scan.expansion, 2u * (6 + 1 + 1 + 3) + 6);
    EXPECT_EQ(scan.entityMarkup, 2u * 2 + 1);
    EXPECT_EQ(scan.elements, 2u);
    EXPECT_EQ(scan.depth, 1 + 1 + 1 + 1); // a, f, e, and e's <b/>; f's <c/> stands beside e

    // Depth counts open elements: siblings that an entity brings in (elements, comments,
    // references to entities nobody declares) add no level; markup that is not balanced counts
    // each '<' as one.
    const auto entity = [](const std::string& value) {
        return "<!DOCTYPE a [<!ENTITY e \"" + value + "\">]><a>&e;</a>";
    };
    std::string comments, undeclared, siblings;
    for (int i = 0; i < 300; ++i) {
        comments += "<!---->";
        undeclared += "&u;";
        siblings += "<b/>";
    }
    const std::pair<std::string, int> depths[] = {
        {entity(comments), 2},
        {entity(undeclared), 3},
        {entity(siblings), 3},
        {entity("<b><c/></b>"), 4},
        {entity("<b>"), 1 + 1 + 1},
        {entity("</b><b>"), 1 + 1 + 2},
        // an '&' that begins no reference may be kept as one, written or brought in
        {"<a>&\\;</a>", 2},
        {entity("&#38;\\;"), 3},
        {entity("<b>&#38;\\;</b>"), 4},
    };
    for (const auto& [text, depth] : depths) {
        const XmlScan nested = ScanXml(text.c_str(), XmlScanLimits{10});
        EXPECT_EQ(nested.verdict, XmlScan::Complete) << text;
        EXPECT_EQ(nested.depth, depth) << text;
    }

    // Names and attribute values are gathered whole, as a run of character data is; the names
    // of start tags and the targets of instructions are counted apart.
    const struct
    {
        const char* text;
        std::size_t longest;
        std::size_t names;
    } gathered[] = {{"<a b='0123456789'>xyz</a>", 10, 2},
                    {"<a0123456789/>", 11, 11},
                    {"<a b0123456789='x'/>", 11, 12},
                    {"<a0123456789>x</a0123456789>", 11, 11},
                    {"<a><?p0123 456789?></a>", 16, 1 + 5}};
    for (const auto& [text, longest, names] : gathered) {
        const XmlScan scan = ScanXml(text, XmlScanLimits{10});
        EXPECT_EQ(scan.longestText, longest) << text;
        EXPECT_EQ(scan.nameBytes, names) << text;
    }

    // A default value gives its attribute to every element of its name, also to one an entity
    // brings in, with its references expanded, whatever the entities read before the attribute
    // list; only quoted defaults count, but every definition does.
    const std::string declared = "<!ENTITY e 'xy'><!ENTITY f '<b/><b c=\"\"/>'>";
    const std::string list = "<!ATTLIST b d CDATA 'v&e;' g CDATA #IMPLIED h (i|j) #FIXED 'i'>";
    for (const std::string& between :
         {std::string(), std::string("<!ENTITY % p '<!ENTITY g \"&f;\">'>%p;")}) {
        const std::string text =
            "<!DOCTYPE a [" + declared + between + list + "]><a><b/><b h='j'/>&f;</a>";
        const XmlScan defaults = ScanXml(text.c_str(), XmlScanLimits{10});
        ASSERT_EQ(defaults.verdict, XmlScan::Complete) << text;
        EXPECT_EQ(defaults.attributeDeclarations, 3u) << text;
        // Each b gets d and h: their names, their values as written and what e expands to.
        EXPECT_EQ(defaults.attributes, 2u * 2 + 1) << text;
        EXPECT_EQ(defaults.entityAttributes, 2u * 2 + 1) << text;
        EXPECT_EQ(defaults.defaultBytes, 4u * (1 + 4 + 2 + 1 + 1)) << text;
        // e in the value once, then once per b; f's thirteen characters; p's text, f in it.
        EXPECT_EQ(defaults.expansion, 2u + 4 * 2 + 13 + (between.empty() ? 0 : 14 + 1 + 13))
            << text;
    }

    // Where the DOM check gives no default attributes, none count; every definition still does.
    XmlScanLimits withoutDefaults{10};
    withoutDefaults.defaultAttributes = false;
    const std::string text = "<!DOCTYPE a [" + declared + list + "]><a><b/><b h='j'/>&f;</a>";
    const XmlScan plain = ScanXml(text.c_str(), withoutDefaults);
    EXPECT_EQ(plain.attributeDeclarations, 3u);
    EXPECT_EQ(plain.attributes + plain.entityAttributes + plain.defaultBytes, 1u + 1);
    EXPECT_EQ(plain.expansion, 13u);

    // The limits at their boundary through parameter entity references.
    const char* pe = "<!DOCTYPE a [<!ENTITY % p \"<!-- -->\"> %p; %p;]><a/>";
    EXPECT_EQ(ScanXml(pe, XmlScanLimits{10, 100, 16}).verdict, XmlScan::Complete);
    EXPECT_EQ(ScanXml(pe, XmlScanLimits{10, 100, 15}).verdict, XmlScan::TooMuchExpansion);
    EXPECT_EQ(ScanXml(pe, XmlScanLimits{10, 3, 100}).verdict, XmlScan::Complete);
    EXPECT_EQ(ScanXml(pe, XmlScanLimits{10, 2, 100}).verdict, XmlScan::TooManyDeclarations);
}

} // namespace
