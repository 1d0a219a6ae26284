#include "Common/Xml/XmlRead.h"

#include <rapidxml/rapidxml.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// Parses a text held by the fixture; the readers then look at the root element's children.
class XmlReadTest : public ::testing::Test
{
protected:
    const XmlNode* Parse(const char* text)
    {
        m_buffer.assign(text, text + std::strlen(text) + 1);
        m_document = std::make_unique<rapidxml::xml_document<char>>();
        m_document->parse<rapidxml::parse_full>(m_buffer.data());
        return m_document->first_node();
    }

private:
    std::vector<char> m_buffer;
    std::unique_ptr<rapidxml::xml_document<char>> m_document;
};

const char* kNode = "<r><a>12</a><b k='7' e=''>34</b><E></E><c x='-3'>  -5 apples</c></r>";

TEST_F(XmlReadTest, IntReadsElementOrAttributeWithItsDefault)
{
    const XmlNode* r = Parse(kNode);
    EXPECT_EQ(GetXmlInt(r, "b", 5), 34);
    EXPECT_EQ(GetXmlInt(r, "b", 5, "k"), 7);
    EXPECT_EQ(GetXmlInt(r, "b", 5, "z"), 5);
    EXPECT_EQ(GetXmlInt(r, "missing", 5), 5);
    EXPECT_EQ(GetXmlInt(r, nullptr, 5), 12) << "null name takes the first child";
    EXPECT_EQ(GetXmlInt(r, "c", 5), -5);
    EXPECT_EQ(GetXmlInt(r, "c", 5, "x"), -3);
    EXPECT_EQ(GetXmlElementInt(r, "a", 9), 12);
    EXPECT_EQ(GetXmlElementInt(r, "z", 9), 9);
}

TEST_F(XmlReadTest, EmptyElementReadsZeroButEmptyAttributeReadsTheDefault)
{
    const XmlNode* r = Parse(kNode);
    EXPECT_EQ(GetXmlInt(r, "E", 5), 0);
    EXPECT_EQ(GetXmlFloat(r, "E", 2.5f), 0.0f);
    EXPECT_EQ(GetXmlElementFloat(r, "E", 2.5f), 0.0f);
    EXPECT_EQ(GetXmlInt(r, "b", 5, "e"), 5);
    EXPECT_EQ(GetXmlFloat(r, "b", 2.5f, "e"), 0.0f);
    EXPECT_EQ(GetXmlFloat(r, "missing", 2.5f), 2.5f);
    EXPECT_TRUE(GetXmlBool(r, "b", false, "e") == false);
    EXPECT_TRUE(GetXmlBool(r, "b", true, "e"));
}

TEST_F(XmlReadTest, BoolIsAnyNonZeroNumber)
{
    const XmlNode* r = Parse("<r><t>2</t><m>-1</m><z>0</z><w>yes</w></r>");
    EXPECT_TRUE(GetXmlBool(r, "t", false));
    EXPECT_TRUE(GetXmlBool(r, "m", false));
    EXPECT_FALSE(GetXmlBool(r, "z", true));
    EXPECT_FALSE(GetXmlBool(r, "w", true));
    EXPECT_TRUE(GetXmlElementBool(r, "t", false));
    EXPECT_FALSE(GetXmlElementBool(r, "w", true));
    EXPECT_TRUE(GetXmlElementBool(r, "missing", true));
}

TEST_F(XmlReadTest, StringFallsBackToElementTextButTextToTheDefault)
{
    const XmlNode* r = Parse(kNode);
    std::string s;
    GetXmlString(r, "b", s, "d", "z");
    EXPECT_EQ(s, "34");
    GetXmlString(r, "b", s, "d", "k");
    EXPECT_EQ(s, "7");
    GetXmlString(r, "missing", s, "d");
    EXPECT_EQ(s, "d");

    char out[16] = "untouched";
    EXPECT_EQ(GetXmlText(r, "b", out, sizeof out, "d", "z"), 1u);
    EXPECT_STREQ(out, "d");
    GetXmlText(r, "b", out, sizeof out, "d");
    EXPECT_STREQ(out, "34");
}

TEST_F(XmlReadTest, NamesAreCaseSensitive)
{
    const XmlNode* r = Parse("<r><Name>x</Name><name a='1' A='2'>y</name></r>");
    char out[8];
    GetXmlText(r, "name", out, sizeof out, "");
    EXPECT_STREQ(out, "y");
    EXPECT_EQ(GetXmlInt(r, "NAME", 4), 4);
    EXPECT_EQ(GetXmlInt(r, "name", 0, "A"), 2);
}

TEST_F(XmlReadTest, ProcessingInstructionsAreNotElements)
{
    const XmlNode* r = Parse("<r><?name pi?><name>x</name><?n 1?><n>2</n><?n 3?><n>4</n></r>");
    char out[8];
    GetXmlText(r, "name", out, sizeof out, "");
    EXPECT_STREQ(out, "x");
    EXPECT_EQ(GetXmlInt(r, "n", 9), 2);
    const XmlNode* first = FirstXmlElement(r, "n");
    ASSERT_NE(first, nullptr);
    const XmlNode* second = NextXmlElement(first, "n");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::string(second->value()), "4");
    EXPECT_EQ(NextXmlElement(second, "n"), nullptr);
}

TEST_F(XmlReadTest, TextIsCutToTheBufferAndAlwaysTerminated)
{
    const XmlNode* r = Parse("<r><v>abcdefghij</v></r>");
    char out[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetXmlText(r, "v", out, sizeof out, ""), 10u) << "reports the whole length";
    EXPECT_STREQ(out, "abcd");

    char none[1] = {'x'};
    EXPECT_EQ(GetXmlText(r, "v", none, 0, ""), 10u);
    EXPECT_EQ(none[0], 'x') << "a zero-sized buffer is not written";
    EXPECT_EQ(GetXmlText(r, "v", none, 1, ""), 10u);
    EXPECT_EQ(none[0], '\0');
    EXPECT_EQ(GetXmlText(r, "missing", out, sizeof out, "defaultvalue"), 12u);
    EXPECT_STREQ(out, "defa");

    // A reference to U+0000 ends the text where it stands, in every reader.
    r = Parse("<r><v>ab&#0;cd</v><w k='ab&#0;cd'/></r>");
    EXPECT_EQ(GetXmlText(r, "v", out, sizeof out, ""), 2u);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(GetXmlText(r, "w", out, sizeof out, "", "k"), 2u);
    EXPECT_STREQ(out, "ab");
    std::string text;
    GetXmlString(r, "v", text, "");
    EXPECT_EQ(text, "ab");
}

TEST_F(XmlReadTest, ParseErrorIsReportedOnceAndLeavesTheParse)
{
    std::vector<char> text{'<', 'a', ' ', '=', '>', '<', '/', 'a', '>', 0};
    rapidxml::xml_document<char> document;
    testing::internal::CaptureStderr();
    bool aborted = false;
    try {
        document.parse<rapidxml::parse_full>(text.data());
    } catch (const XmlParseAbort& abort) {
        aborted = true;
        EXPECT_STREQ(abort.what, "expected >");
    }
    EXPECT_TRUE(aborted);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Xml parse error: expected >.\n");
}

TEST_F(XmlReadTest, TextFillsTheBufferExactlyAndWritesNothingBeyondIt)
{
    const XmlNode* r = Parse("<r><v>abcdefghij</v></r>");
    // Ten bytes of text, from the element or from the default, into buffers around 11 bytes.
    const struct
    {
        const char* childName;
        std::size_t outSize;
        const char* expected;
    } cases[] = {
        {"v", 9, "abcdefgh"},    {"v", 10, "abcdefghi"},       {"v", 11, "abcdefghij"},
        {"v", 12, "abcdefghij"}, {"missing", 10, "012345678"}, {"missing", 11, "0123456789"},
    };
    for (const auto& test : cases) {
        char out[16];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(GetXmlText(r, test.childName, out, test.outSize, "0123456789"), 10u);
        EXPECT_STREQ(out, test.expected) << test.childName << " into " << test.outSize;
        EXPECT_EQ(std::string(out + test.outSize, out + sizeof out),
                  std::string(sizeof out - test.outSize, '#'))
            << test.childName << " into " << test.outSize << ": written beyond the buffer";
    }
}

} // namespace
