#include "Common/Xml/XmlWriter.h"
#include "Common/Xml/XmlAttribute.h"
#include "Common/Xml/XmlAttributeList.h"
#include "support/MemoryFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using file::MemoryFile;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const std::string Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// The output after the declaration line.
std::string Body(const MemoryFile& file)
{
    return file.Bytes().substr(Declaration.size());
}

} // namespace

TEST(XmlWriter, WritesIndentedDocumentOneByteAtATime)
{
    MemoryFile file;
    {
        XmlWriter writer(&file);
        XmlAttributeList attributes(2);
        attributes.Add(new XmlAttribute("id", 7));
        attributes.Add(new XmlAttribute("kind", "x"));
        writer.OpenElement("doc").WriteElement("name", "abc");
        writer.OpenElement("item", &attributes).CloseElement("item").CloseElement("doc");
        EXPECT_EQ(file.CloseCalls(), 0);
    }
    EXPECT_EQ(file.Bytes(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<doc>\n"
                            "   <name>abc</name>\n"
                            "   <item id=\"7\" kind=\"x\">\n"
                            "   </item>\n"
                            "</doc>\n");
    EXPECT_EQ(file.WriteCalls(), static_cast<int>(file.Bytes().size()));
    EXPECT_EQ(file.FlushCalls(), 1);
    EXPECT_EQ(file.CloseCalls(), 1);
}

TEST(XmlWriter, WritesAttributeValuesByType)
{
    MemoryFile file;
    XmlWriter writer(&file);
    XmlAttributeList attributes(5);
    attributes.Add(new XmlAttribute("i", -5));
    attributes.Add(new XmlAttribute("u", 4294967295u));
    attributes.Add(new XmlAttribute("f", 1.5f));
    attributes.Add(new XmlAttribute("b", true));
    attributes.Add(new XmlAttribute("s", "a&b"));
    writer.WriteElement("e", "", &attributes);
    EXPECT_EQ(Body(file), "<e i=\"-5\" u=\"-1\" f=\"1.500000\" b=\"1\" s=\"a&b\"></e>\n");
}

TEST(XmlWriter, WritesElementValuesByType)
{
    MemoryFile file;
    XmlWriter writer(&file);
    writer.WriteElement("f", -0.0f).WriteElement("b", false).WriteElement("c", (unsigned char)255);
    writer.WriteElement("s", (short)-3).WriteElement("w", (unsigned short)65535);
    writer.WriteElement("u", 2147483648u).WriteElement("t", "<a&b>");
    writer << "[" << true << (unsigned char)200 << (short)-1 << (unsigned short)7 << 42
           << 4294967294u << 0.25f << "]";
    EXPECT_EQ(Body(file), "<f>-0.000000</f>\n"
                          "<b>0</b>\n"
                          "<c>255</c>\n"
                          "<s>-3</s>\n"
                          "<w>65535</w>\n"
                          "<u>-2147483648</u>\n"
                          "<t><a&b></t>\n"
                          "[1200-1742-20.250000]");
}

TEST(XmlWriter, StdStringStopsAtEmbeddedZero)
{
    MemoryFile file;
    XmlWriter writer(&file);
    writer.WriteElement("n", std::string("ab\0cd", 5));
    EXPECT_EQ(Body(file), "<n>ab</n>\n");
}

TEST(XmlWriter, DepthMayGoNegativeWithoutIndentation)
{
    MemoryFile file;
    XmlWriter writer(&file);
    writer.CloseElement("a");
    EXPECT_EQ(writer.Depth(), -1);
    writer.OpenElement("b");
    EXPECT_EQ(writer.Depth(), 0);
    writer.OpenElement("c");
    EXPECT_EQ(Body(file), "</a>\n<b>\n<c>\n");

    writer.WriteDeclaration();
    EXPECT_EQ(writer.Depth(), 0);
    EXPECT_EQ(file.Bytes().substr(file.Bytes().size() - Declaration.size()), Declaration);
}

TEST(XmlWriter, InvalidAttributeIsWrittenEmptyWithDiagnostic)
{
    MemoryFile file;
    XmlWriter writer(&file);
    XmlAttributeList attributes(2);
    attributes.Add(new XmlAttribute("n"));
    attributes.Add(new XmlAttribute("k", 3));
    CaptureStderr();
    writer.OpenElement("e", &attributes);
    EXPECT_EQ(GetCapturedStderr(), "Invalid attribute: 0.\n");
    EXPECT_EQ(Body(file), "<e n=\"\" k=\"3\">\n");
}

TEST(XmlWriter, NullFileWritesNothingButKeepsDepthAndDiagnostics)
{
    XmlWriter writer(nullptr);
    XmlAttributeList attributes(1);
    attributes.Add(new XmlAttribute("n"));
    CaptureStderr();
    writer.OpenElement("a").OpenElement("b", &attributes).OpenElement("c").CloseElement("c");
    writer.WriteElement("v", 1.5f) << 3 << "text";
    EXPECT_EQ(GetCapturedStderr(), "Invalid attribute: 0.\n");
    EXPECT_EQ(writer.Depth(), 2);
}

TEST(XmlAttribute, LongNameIsCutTo31Characters)
{
    const std::string name(40, 'n');
    XmlAttribute attribute(name.c_str(), 1);
    EXPECT_EQ(std::string(attribute.Name()), name.substr(0, 31));
    attribute.SetName("short");
    EXPECT_STREQ(attribute.Name(), "short");
}

TEST(XmlAttribute, SetReplacesAndReleasesOwnedText)
{
    char text[] = "first";
    XmlAttribute attribute("a", text);
    std::strcpy(text, "other");
    EXPECT_STREQ(attribute.Text(), "first");
    attribute.Set("second");
    EXPECT_STREQ(attribute.Text(), "second");
    attribute.Set(-9);
    EXPECT_EQ(attribute.Type(), XmlAttributeType::Int);
    EXPECT_EQ(attribute.Text(), nullptr);
    EXPECT_EQ(attribute.IntValue(), -9);
}

TEST(XmlAttributeList, AddBeyondCapacityIsRefused)
{
    XmlAttribute* extra = new XmlAttribute("c", 3);
    {
        XmlAttributeList attributes(2);
        EXPECT_EQ(attributes.Add(new XmlAttribute("a", 1)), 0);
        EXPECT_EQ(attributes.Add(new XmlAttribute("b", 2)), 1);
        EXPECT_EQ(attributes.Add(extra), -1);
        EXPECT_EQ(attributes.Count(), 2);
        EXPECT_EQ(attributes.At(1)->IntValue(), 2);
        EXPECT_EQ(attributes.At(2), nullptr) << "the index equal to the count";
        EXPECT_EQ(attributes.At(-1), nullptr);

        MemoryFile file;
        XmlWriter writer(&file);
        writer.OpenElement("e", &attributes);
        EXPECT_EQ(Body(file), "<e a=\"1\" b=\"2\">\n");
    }
    // Still ours: the list must not have deleted it.
    EXPECT_EQ(extra->IntValue(), 3);
    delete extra;

    XmlAttributeList empty(0);
    XmlAttribute unlisted("d", 4);
    EXPECT_EQ(empty.Add(&unlisted), -1);
}

TEST(XmlAttributeList, NullRecordIsSkipped)
{
    MemoryFile file;
    XmlWriter writer(&file);
    XmlAttributeList attributes(3);
    attributes.Add(new XmlAttribute("a", 1));
    EXPECT_EQ(attributes.Add(nullptr), 1);
    attributes.Add(new XmlAttribute("c", 3));
    writer.OpenElement("e", &attributes);
    EXPECT_EQ(Body(file), "<e a=\"1\" c=\"3\">\n");
}
