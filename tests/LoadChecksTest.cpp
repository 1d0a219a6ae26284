#include "Common/CheckList/LoadChecks.h"
#include "Common/CheckList/LoadLimits.h"

#include <gtest/gtest.h>

#include <string>

using zuchecklist::LoadChecks;
using namespace zuchecklist::limits;

namespace {

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

// What one construct more in the document type adds: its bytes, held twice, and its node;
// declarations of kinds not measured apart are charged as the largest node.
TEST(LoadChecks, EveryConstructOfTheDocumentTypeIsPaidFor)
{
    const std::pair<std::string, std::uint64_t> cases[] = {
        {"<!---->", kCostPerOtherNode},
        {"<?p?>", kCostPerOtherNode},
        {"<!NOTATION n SYSTEM 'x'>", kCostOfLargestNode},
        {"<!ELEMENT doc ANY>", kCostOfLargestNode},
        {"<!ENTITY e ''>", kCostOfLargestNode},
    };
    for (const auto& [construct, node] : cases) {
        auto text = [&construct = construct](int count) {
            std::string subset;
            for (int i = 0; i < count; ++i)
                subset += construct;
            return "<!DOCTYPE doc [" + subset + "]><doc/>";
        };
        EXPECT_EQ(Estimate(text(11)) - Estimate(text(10)),
                  2 * construct.size() * kCostPerTextByte + node)
            << construct;
    }
}

TEST(LoadChecks, NothingIsEstimatedForATextTheScanDidNotComplete)
{
    EXPECT_EQ(Estimate("<doc>"), 0u);
    EXPECT_EQ(Estimate("<doc>&#1;</doc>"), 0u);
    EXPECT_GE(Estimate("<doc/>"), kCostOfDocument);
}

} // namespace
