#include "DoctypeBounds.h"

#include "LoadLimits.h"

#include "Common/Xml/XmlNesting.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zuchecklist {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || u >= 0x80;
}

// Saturating, so that no count can wrap around however often an entity is referenced.
std::uint64_t Add(std::uint64_t a, std::uint64_t b)
{
    constexpr std::uint64_t kCap = std::uint64_t(1) << 62;
    return a >= kCap || b >= kCap - a ? kCap : a + b;
}

struct Entity
{
    std::string_view value; // the literal, before references are replaced
    bool external = false;
    enum
    {
        Unvisited,
        Visiting,
        Done
    } state = Unvisited;
    std::uint64_t expansion = 0; // characters of the replacement text, references expanded
    std::uint64_t markup = 0;    // '<' characters in it
};

class Measurer
{
public:
    Measurer(const char* text, std::size_t size) : m_text(text), m_end(text + size) {}

    DoctypeBounds Run(const XmlScan& scan)
    {
        const char* p = m_text + scan.doctypeBegin + 9; // behind "<!DOCTYPE"
        const char* end = m_text + scan.doctypeEnd;
        while (p < end && *p != '[' && *p != '>') {
            if (*p == '"' || *p == '\'') {
                if (!SkipQuoted(p, end))
                    return Malformed(p);
            } else {
                ++p;
            }
        }
        if (p < end && *p == '[') {
            ++p;
            if (!ParseSubset(p, end, true))
                return m_out;
            ++p; // ']'
            while (p < end && IsSpace(*p))
                ++p;
        }
        // The declaration must end exactly where the loader's own walk ended it.
        if (p + 1 != end || *p != '>')
            return Malformed(p);

        // Every reference after the declaration, wherever it stands.
        for (p = end; p < m_end; ++p) {
            if (*p != '&' || p[1] == '#')
                continue;
            const char* name = ++p;
            while (p < m_end && IsNameChar(*p))
                ++p;
            if (p == m_end || *p != ';')
                continue;
            const auto found = m_general.find(std::string_view(name, p - name));
            if (found == m_general.end())
                continue;
            if (!Compute(found->second))
                return m_out;
            const Entity& entity = m_entities[found->second];
            m_out.expansion = Add(m_out.expansion, entity.expansion);
            m_out.markup = Add(m_out.markup, entity.markup);
            if (entity.markup > m_out.deepestMarkup)
                m_out.deepestMarkup = entity.markup;
            if (m_out.expansion > limits::kMaxEntityExpansion)
                return Verdict(DoctypeBounds::TooMuchExpansion);
        }
        return m_out;
    }

private:
    DoctypeBounds Malformed(const char* where)
    {
        m_out.verdict = DoctypeBounds::Malformed;
        m_out.where =
            where >= m_text && where <= m_end ? static_cast<std::size_t>(where - m_text) : 0;
        return m_out;
    }

    DoctypeBounds Verdict(DoctypeBounds::Verdict verdict)
    {
        m_out.verdict = verdict;
        return m_out;
    }

    static bool SkipQuoted(const char*& p, const char* end)
    {
        const char quote = *p++;
        while (p < end && *p != quote)
            ++p;
        if (p == end)
            return false;
        ++p;
        return true;
    }

    static bool SkipPast(const char*& p, const char* end, const char* terminator)
    {
        const std::size_t length = std::strlen(terminator);
        for (; p + length <= end; ++p) {
            if (std::memcmp(p, terminator, length) == 0) {
                p += length;
                return true;
            }
        }
        return false;
    }

    // Up to and past the '>' that ends a markup declaration; quoted literals may hold '>'.
    static bool SkipDeclaration(const char*& p, const char* end)
    {
        while (p < end && *p != '>') {
            if (*p == '"' || *p == '\'') {
                if (!SkipQuoted(p, end))
                    return false;
            } else {
                ++p;
            }
        }
        if (p == end)
            return false;
        ++p;
        return true;
    }

    // The internal subset, or the replacement text of a parameter entity referenced in it.
    // At the top it ends at ']', which is left under 'p'.
    bool ParseSubset(const char*& p, const char* end, bool top)
    {
        for (;;) {
            while (p < end && IsSpace(*p))
                ++p;
            if (p == end) {
                if (top)
                    Malformed(p);
                return !top;
            }
            const std::size_t left = static_cast<std::size_t>(end - p);
            if (*p == ']' && top)
                return true;
            if (*p == '%') {
                const char* name = ++p;
                while (p < end && IsNameChar(*p))
                    ++p;
                if (p == end || *p != ';') {
                    Malformed(p);
                    return false;
                }
                const std::string_view entityName(name, p - name);
                ++p;
                if (!ExpandParameter(entityName))
                    return false;
            } else if (left >= 4 && std::memcmp(p, "<!--", 4) == 0) {
                p += 4;
                if (!SkipPast(p, end, "-->")) {
                    Malformed(p);
                    return false;
                }
            } else if (left >= 2 && std::memcmp(p, "<?", 2) == 0) {
                if (!SkipPast(p, end, "?>")) {
                    Malformed(p);
                    return false;
                }
            } else if (left >= 9 && std::memcmp(p, "<!ENTITY", 8) == 0 && IsSpace(p[8])) {
                if (!ParseEntity(p, end))
                    return false;
            } else if (left >= 2 && std::memcmp(p, "<!", 2) == 0) {
                if (!SkipDeclaration(p, end)) {
                    Malformed(p);
                    return false;
                }
            } else {
                Malformed(p);
                return false;
            }
        }
    }

    bool ParseEntity(const char*& p, const char* end)
    {
        if (++m_declarations > limits::kMaxEntityDeclarations) {
            Verdict(DoctypeBounds::TooManyDeclarations);
            return false;
        }
        p += 8;
        while (p < end && IsSpace(*p))
            ++p;
        bool parameter = false;
        if (p + 1 < end && *p == '%' && IsSpace(p[1])) {
            parameter = true;
            ++p;
            while (p < end && IsSpace(*p))
                ++p;
        }
        const char* name = p;
        while (p < end && IsNameChar(*p))
            ++p;
        const std::string_view entityName(name, p - name);
        while (p < end && IsSpace(*p))
            ++p;
        Entity entity;
        if (p < end && (*p == '"' || *p == '\'')) {
            const char* literal = p + 1;
            if (!SkipQuoted(p, end)) {
                Malformed(literal - 1);
                return false;
            }
            entity.value = std::string_view(literal, p - 1 - literal);
        } else {
            entity.external = true; // never loaded by the check
        }
        if (!SkipDeclaration(p, end)) {
            Malformed(p);
            return false;
        }
        auto& names = parameter ? m_parameter : m_general;
        if (!entityName.empty() && names.find(entityName) == names.end()) {
            m_entities.push_back(entity);
            names.emplace(entityName, m_entities.size() - 1);
        }
        return true;
    }

    // A parameter entity referenced between declarations brings in its replacement text as
    // further declarations.
    bool ExpandParameter(std::string_view name)
    {
        const auto found = m_parameter.find(name);
        if (found == m_parameter.end())
            return true;
        if (++m_declarations > limits::kMaxEntityDeclarations) {
            Verdict(DoctypeBounds::TooManyDeclarations);
            return false;
        }
        const std::size_t index = found->second;
        if (!Compute(index))
            return false;
        m_out.expansion = Add(m_out.expansion, m_entities[index].expansion);
        if (m_out.expansion > limits::kMaxEntityExpansion) {
            Verdict(DoctypeBounds::TooMuchExpansion);
            return false;
        }
        if (m_entities[index].external)
            return true;
        // Character references are replaced before the text is read as declarations.
        m_replacements.push_back(Replace(m_entities[index].value));
        const std::string& text = m_replacements.back();
        const char* q = text.data();
        return ParseSubset(q, text.data() + text.size(), false);
    }

    static std::string Replace(std::string_view value)
    {
        std::string out;
        out.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '&' && i + 2 < value.size() && value[i + 1] == '#') {
                const std::size_t semicolon = value.find(';', i);
                if (semicolon != std::string_view::npos) {
                    const bool hex = value[i + 2] == 'x';
                    const std::string digits(
                        value.substr(i + (hex ? 3 : 2), semicolon - i - (hex ? 3 : 2)));
                    const unsigned long code = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
                    // Only the characters that matter to markup need their own byte.
                    out += code < 0x80 ? static_cast<char>(code) : 'x';
                    i = semicolon;
                    continue;
                }
            }
            out += value[i];
        }
        return out;
    }

    // Expansion and markup of one entity's replacement text, references expanded. An entity that
    // refers to itself, directly or not, makes the text malformed.
    bool Compute(std::size_t index)
    {
        if (m_entities[index].state == Entity::Done)
            return true;
        if (m_entities[index].state == Entity::Visiting) {
            Malformed(m_entities[index].value.data());
            m_out.verdict = DoctypeBounds::Recursive;
            return false;
        }
        m_entities[index].state = Entity::Visiting;
        std::uint64_t expansion = 0;
        std::uint64_t markup = 0;
        const std::string_view value = m_entities[index].value;
        for (std::size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if ((c == '&' || c == '%') && i + 1 < value.size() && value[i + 1] == '#') {
                const std::size_t semicolon = value.find(';', i);
                const std::string_view digits = value.substr(
                    i + 2, semicolon == std::string_view::npos ? 0 : semicolon - i - 2);
                if (digits == "60" || digits == "x3C" || digits == "x3c" || digits == "x003C" ||
                    digits == "x003c" || digits == "060")
                    ++markup;
                expansion = Add(expansion, 1);
                if (semicolon != std::string_view::npos)
                    i = semicolon;
                continue;
            }
            if (c == '&' || c == '%') {
                std::size_t j = i + 1;
                while (j < value.size() && IsNameChar(value[j]))
                    ++j;
                if (j < value.size() && value[j] == ';' && j > i + 1) {
                    const auto& names = c == '&' ? m_general : m_parameter;
                    const auto found = names.find(value.substr(i + 1, j - i - 1));
                    if (found != names.end()) {
                        if (!Compute(found->second))
                            return false;
                        expansion = Add(expansion, m_entities[found->second].expansion);
                        markup = Add(markup, m_entities[found->second].markup);
                    } else {
                        expansion = Add(expansion, j - i + 1);
                    }
                    i = j;
                    continue;
                }
            }
            if (c == '<')
                ++markup;
            expansion = Add(expansion, 1);
        }
        Entity& entity = m_entities[index];
        entity.expansion = expansion;
        entity.markup = markup;
        entity.state = Entity::Done;
        return true;
    }

    const char* m_text;
    const char* m_end;
    std::vector<Entity> m_entities;
    std::unordered_map<std::string_view, std::size_t> m_general;
    std::unordered_map<std::string_view, std::size_t> m_parameter;
    std::deque<std::string> m_replacements; // parameter entity texts that names point into
    std::size_t m_declarations = 0;
    DoctypeBounds m_out;
};

} // namespace

DoctypeBounds MeasureDoctype(const char* text, std::size_t size, const XmlScan& scan)
{
    Measurer measurer(text, size);
    return measurer.Run(scan);
}

} // namespace zuchecklist
