#include "Common/CheckList/LoadChecks.h"
#include "Common/CheckList/LoadLimits.h"
#include "support/Toolkit.h"

#include <gtest/gtest.h>

#include <string>

using zuchecklist::LoadChecks;
using namespace zuchecklist::limits;

namespace {

// Charged for an element's default attribute where the DOM check gives it: the attribute, and
// 'bytes' of name and value as UTF-16.
std::uint64_t Defaulted(std::uint64_t bytes)
{
    return kDomCheckAppliesDefaultAttributes ? kCostPerAttribute + 2 * bytes * kCostPerTextByte : 0;
}

std::uint64_t Estimate(const std::string& text)
{
    return LoadChecks::MemoryEstimate(text.size(), LoadChecks::Scan(text.c_str()));
}

// What one reference more adds to the estimate: the bytes of the reference in the text and in
// the longest run, and what the entity brings in.
TEST(LoadChecks, EveryEntityReferenceIsPaidForWithWhatItBringsIn)
{
    const struct
    {
        const char* declaration;
        const char* reference;
        std::uint64_t step;
    } cases[] = {
        // seven characters in UTF-16, one element, the reference node
        {"<!ENTITY e \"<b/>xyz\">", "&e;",
         2 * 7 * kCostPerTextByte + kCostPerElement + kCostPerReference},
        // the same markup through a hexadecimal reference to '<'
        {"<!ENTITY e \"&#x3C;b/>xyz\">", "&e;",
         2 * 7 * kCostPerTextByte + kCostPerElement + kCostPerReference},
        // through a second entity: two reference nodes, the inner one holding its name "f";
        // also where the reference to f is spelled with a character reference to its '&'
        {"<!ENTITY f \"<b/>xyz\"><!ENTITY e \"&f;\">", "&e;",
         2 * (7 + 1) * kCostPerTextByte + kCostPerElement + 2 * kCostPerReference},
        {"<!ENTITY f \"<b/>xyz\"><!ENTITY e \"&#38;f;\">", "&e;",
         2 * (7 + 1) * kCostPerTextByte + kCostPerElement + 2 * kCostPerReference},
        // an attribute brought in, also through a reference to '=' and through a second entity
        {"<!ENTITY e \"<b c=''/>\">", "&e;",
         2 * 9 * kCostPerTextByte + kCostPerElement + kCostPerAttribute + kCostPerReference},
        {"<!ENTITY e \"<b c&#61;''/>\">", "&e;",
         2 * 9 * kCostPerTextByte + kCostPerElement + kCostPerAttribute + kCostPerReference},
        {"<!ENTITY f \"<b c=''/>\"><!ENTITY e \"&f;\">", "&e;",
         2 * (9 + 1) * kCostPerTextByte + kCostPerElement + kCostPerAttribute +
             2 * kCostPerReference},
        // an entity the text does not declare: a node, and nothing brought in
        {"", "&a;", kCostPerReference},
        // an '&' that begins no reference, written or brought in
        {"", "&\\;", kCostPerReference},
        {"<!ENTITY e \"&#38;\\;\">", "&e;", 2 * 3 * kCostPerTextByte + 2 * kCostPerReference},
        // a character reference: its bytes alone
        {"", "&#60;", 0},
        // an element with a default attribute brought in, also one whose name a character
        // reference spells, counted in UTF-8
        {"<!ENTITY e \"<a/>\"><!ATTLIST a b CDATA 'vw'>", "&e;",
         2 * 4 * kCostPerTextByte + kCostPerElement + Defaulted(3) + kCostPerReference},
        {"<!ENTITY e \"&#60;&#233;/>\"><!ATTLIST \xC3\xA9 b CDATA 'vw'>", "&e;",
         2 * 5 * kCostPerTextByte + kCostPerElement + Defaulted(3) + kCostPerReference},
    };
    for (const auto& c : cases) {
        const std::string reference = c.reference;
        auto text = [&](int count) {
            std::string body;
            for (int i = 0; i < count; ++i)
                body += reference;
            return "<!DOCTYPE doc [" + std::string(c.declaration) + "]><doc>" + body + "</doc>";
        };
        const std::uint64_t bytes = reference.size() * (kCostPerTextByte + kCostPerLongestTextByte);
        EXPECT_EQ(Estimate(text(11)) - Estimate(text(10)), bytes + c.step) << c.declaration;
    }
}

// What one construct more adds where it stands ('@' in the frame): in the document type, its
// bytes held twice and its node, declarations of kinds not measured apart charged as the
// largest node; a name's or the XML declaration's byte, also in the longest run; an element with
// default attributes, where the DOM check gives them, each with its name and value as UTF-16.
TEST(LoadChecks, EveryConstructIsPaidFor)
{
    const std::string subset = "<!DOCTYPE doc [@]><doc/>";
    const struct
    {
        std::string frame;
        std::string construct;
        std::uint64_t step;
    } cases[] = {
        {subset, "<!---->", 2 * 7 * kCostPerTextByte + kCostPerOtherNode},
        {subset, "<?p?>", 2 * 5 * kCostPerTextByte + kCostPerOtherNode},
        {subset, "<!NOTATION n SYSTEM 'x'>", 2 * 24 * kCostPerTextByte + kCostOfLargestNode},
        {subset, "<!ELEMENT doc ANY>", 2 * 18 * kCostPerTextByte + kCostOfLargestNode},
        {subset, "<!ENTITY e ''>", 2 * 14 * kCostPerTextByte + kCostOfLargestNode},
        {subset, "<!ATTLIST a b CDATA #IMPLIED>", 2 * 29 * kCostPerTextByte + kCostOfLargestNode},
        {"<doc><a@/></doc>", "n", kCostPerTextByte + kCostPerNameByte + kCostPerLongestTextByte},
        {"<?xml version='1.0'@?><doc/>", " ", kCostPerTextByte + 2 * kCostPerLongestTextByte},
        {"<!DOCTYPE doc [<!ATTLIST a b CDATA 'vw' c CDATA #IMPLIED>]><doc>@</doc>", "<a/>",
         4 * kCostPerTextByte + kCostPerNameByte + kCostPerElement + Defaulted(3)},
        {"<!DOCTYPE doc [<!ENTITY e 'xyz'><!ATTLIST a b CDATA 'v&e;'>]><doc>@</doc>", "<a/>",
         4 * kCostPerTextByte + kCostPerNameByte + kCostPerElement + Defaulted(1 + 4 + 3 + 3)},
    };
    for (const auto& c : cases) {
        auto text = [&c](int count) {
            std::string repeated;
            for (int i = 0; i < count; ++i)
                repeated += c.construct;
            std::string framed = c.frame;
            return framed.replace(framed.find('@'), 1, repeated);
        };
        EXPECT_EQ(Estimate(text(11)) - Estimate(text(10)), c.step) << c.frame << c.construct;
    }
}

TEST(LoadChecks, NothingIsEstimatedForATextTheScanDidNotComplete)
{
    EXPECT_EQ(Estimate("<doc>"), 0u);
    EXPECT_EQ(Estimate("<doc>&#1;</doc>"), 0u);
    EXPECT_GE(Estimate("<doc/>"), kCostOfDocument);
}

} // namespace
