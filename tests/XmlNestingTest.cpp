#include "Common/Xml/XmlNesting.h"
#include "Common/Xml/XmlRead.h"

#include <rapidxml/rapidxml.hpp>

#include <gtest/gtest.h>

#include <random>
#include <string>

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
    EXPECT_EQ(XmlNestingDepth("", 10), 0);
    EXPECT_EQ(XmlNestingDepth("<a/>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("<a></a>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("\xEF\xBB\xBF<?xml version='1.0'?><doc><list><item><name>x</name>"
                              "</item></list></doc>",
                              10),
              4);
    EXPECT_EQ(XmlNestingDepth("<a><b/><b></b><b><c/></b></a>", 10), 3);
}

TEST(XmlNesting, MarkupInsideCommentsCdataPisDoctypeAndAttributesIsNotCounted)
{
    EXPECT_EQ(XmlNestingDepth("<a><!-- <b><c> --></a>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("<a><![CDATA[<b><c>]]></a>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("<a><?pi <b><c> ?></a>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("<!DOCTYPE a [ <!ELEMENT a ANY> <!-- [ ] --> ]><a></a>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("<a x='>' y=\"<b>\"><b></b></a>", 10), 2);
    EXPECT_EQ(XmlNestingDepth("<a><b/></a>", 1), 2) << "an empty element one level down counts";
}

TEST(XmlNesting, StopsJustPastTheLimit)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    EXPECT_EQ(XmlNestingDepth(deep.c_str(), 256), 257);
    EXPECT_EQ(XmlNestingDepth(deep.c_str(), 100000), 100000) << "unclosed, but that deep";
}

TEST(XmlNesting, StopsWhereTheParserWouldReportAnError)
{
    EXPECT_EQ(XmlNestingDepth("<a><b <c><d><e>", 10), 1);
    EXPECT_EQ(XmlNestingDepth("text<a><b></b></a>", 10), 0);
    EXPECT_EQ(XmlNestingDepth("<a><!-- unterminated <b><c>", 10), 1);
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
        const int walked = XmlNestingDepth(text.c_str(), 1000);
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
