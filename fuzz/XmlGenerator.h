#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// Makes an XML text from a fuzzer's bytes, read as choices: which production of the grammar
// comes next in each context (the prolog, the document type's internal subset, entity values,
// parameter entities, content, attribute values, attribute lists with their default values for
// the elements of content and of entities), and how often it is repeated, up to counts that
// bring the text or what its entities expand to near the memory budget. So every construct is
// reached in every context without a seed that spells it, and the mutations of the bytes become
// mutations of the structure. Most texts are well-formed; some are not, on purpose.
class XmlGenerator
{
public:
    // Every production the generator can emit, each in the context its name gives.
    enum Production
    {
        XmlDeclaration,
        PrologComment,
        PrologInstruction,
        Doctype,
        SubsetEntity,
        SubsetParameterEntity,
        SubsetExternalEntity,
        SubsetNotation,
        SubsetElement,
        SubsetAttributeList,
        SubsetComment,
        SubsetInstruction,
        SubsetParameterReference,
        ValueText,
        ValueCharacterReference,
        ValueMarkupByReference,
        ValueEntityReference,
        ValueElement,
        ValueComment,
        ValueInstruction,
        ValueCdata,
        ValueReferenceByCharacter,
        ValueAttribute,
        ContentElement,
        ContentEmptyElement,
        ContentAttribute,
        AttributeEntityReference,
        ContentText,
        ContentCharacterReference,
        ContentEntityReference,
        ContentUndeclaredReference,
        ContentCdata,
        ContentComment,
        ContentInstruction,
        ContentBareAmpersand,
        Repetition,
        Flaw,
        AttributeDefault,
        ParameterAttributeList,
        ProductionCount
    };

    XmlGenerator(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::string Document();

    // How often each production was emitted since the process started.
    static const std::uint64_t* Reached();
    static const char* Name(Production production);

private:
    std::uint8_t Next() { return m_at < m_size ? m_data[m_at++] : 0; }
    bool More() const { return m_at < m_size && m_text.size() < kMaxTextBytes; }
    // 1 to 8 mostly, and now and then a power of two from 2^8 to 2^16.
    std::size_t Count();
    void Emit(Production production, const std::string& text);
    std::string EntityName();
    using Item = std::pair<Production, std::string>;
    template <typename Choose> std::string Sequence(std::size_t limit, Choose choose);
    std::string Subset();
    std::string EntityValue(int depth);
    std::string Content(int depth);
    std::string AttributeValue();
    std::string AttributeList(char quote);
    std::string DefaultValue();

    static constexpr std::size_t kMaxTextBytes = 256 << 10;
    static constexpr int kMaxDepth = 12;
    static constexpr int kEntities = 6;

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    std::string m_text; // the document so far, to keep within kMaxTextBytes
};
