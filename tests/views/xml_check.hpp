// A strict reader for the XML that the SVG view writes, so that the tests can check that a
// document is well-formed and look at its elements. It knows elements, attributes, character
// data, the five predefined entities, character references and a leading XML declaration; a
// document with anything else (comments, CDATA, doctype) is refused.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarn_package::testing {

struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes; // values with references resolved
    std::size_t parent = 0;                        // index of the parent; the root is its own parent
    std::string text;                              // character data directly inside, resolved
};

struct XmlDocument {
    std::vector<XmlElement> elements; // in document order; elements[0] is the root
    std::string error;                // empty when the document is well-formed

    /// Whether `element` lies inside an element of `name` with the attribute class="`css_class`".
    [[nodiscard]] bool inside(std::size_t element, std::string_view name, std::string_view css_class) const {
        for (std::size_t at = element; elements[at].parent != at;) {
            at = elements[at].parent;
            const auto found = elements[at].attributes.find("class");
            if (elements[at].name == name && found != elements[at].attributes.end() &&
                found->second == css_class) {
                return true;
            }
        }
        return false;
    }
};

namespace xml_detail {

inline bool name_char(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    return letter || (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
}

/// Whether `text` is valid UTF-8 without the control characters that XML forbids.
inline bool valid_chars(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80         ? 1
                                   : (byte >> 5) == 6  ? 2
                                   : (byte >> 4) == 14 ? 3
                                   : (byte >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        if (length == 1 && byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

/// `raw` with references resolved, or an error for a bare '&' or '<' or an unknown entity.
inline bool resolve(std::string_view raw, std::string& out, std::string& error) {
    static const std::map<std::string_view, std::string_view> entities{
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '<') {
            error = "unescaped '<'";
            return false;
        }
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const std::size_t end = raw.find(';', i);
        if (end == std::string_view::npos) {
            error = "unterminated reference";
            return false;
        }
        const std::string_view name = raw.substr(i + 1, end - i - 1);
        if (const auto found = entities.find(name); found != entities.end()) {
            out += found->second;
        } else if (name.size() > 1 && name[0] == '#') {
            out += '?'; // character references are not written by the view; accept them unresolved
        } else {
            error = "unknown entity '" + std::string(name) + "'";
            return false;
        }
        i = end;
    }
    return true;
}

} // namespace xml_detail

/// Reads `doc`; on failure `error` says why and `elements` is whatever was read before.
inline XmlDocument parse_xml(std::string_view doc) {
    using namespace xml_detail;
    XmlDocument result;
    auto fail = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    if (!valid_chars(doc)) {
        return fail("invalid character or UTF-8");
    }
    std::size_t p = 0;
    if (doc.starts_with("<?xml")) {
        p = doc.find("?>");
        if (p == std::string_view::npos) {
            return fail("unterminated declaration");
        }
        p += 2;
    }
    std::vector<std::size_t> open;
    auto skip_space = [&] {
        while (p < doc.size() && (doc[p] == ' ' || doc[p] == '\n' || doc[p] == '\t' || doc[p] == '\r')) {
            ++p;
        }
    };
    auto read_name = [&] {
        const std::size_t start = p;
        while (p < doc.size() && name_char(doc[p], p == start)) {
            ++p;
        }
        return std::string(doc.substr(start, p - start));
    };
    while (p < doc.size()) {
        if (doc[p] != '<') {
            const std::size_t end = std::min(doc.find('<', p), doc.size());
            std::string text;
            if (!resolve(doc.substr(p, end - p), text, result.error)) {
                return result;
            }
            if (open.empty() && text.find_first_not_of(" \n\t\r") != std::string::npos) {
                return fail("text outside the root element");
            }
            if (!open.empty()) {
                result.elements[open.back()].text += text;
            }
            p = end;
            continue;
        }
        ++p;
        if (p < doc.size() && doc[p] == '/') {
            ++p;
            const std::string name = read_name();
            skip_space();
            if (open.empty() || result.elements[open.back()].name != name || p >= doc.size() ||
                doc[p] != '>') {
                return fail("mismatched end tag </" + name + ">");
            }
            open.pop_back();
            ++p;
            continue;
        }
        if (open.empty() && !result.elements.empty()) {
            return fail("second root element");
        }
        XmlElement element;
        element.name = read_name();
        if (element.name.empty()) {
            return fail("bad tag name");
        }
        element.parent = open.empty() ? result.elements.size() : open.back();
        for (;;) {
            skip_space();
            if (p >= doc.size()) {
                return fail("unterminated tag <" + element.name + ">");
            }
            if (doc[p] == '>' || doc.substr(p).starts_with("/>")) {
                break;
            }
            const std::string attribute = read_name();
            if (attribute.empty() || p + 1 >= doc.size() || doc[p] != '=' ||
                (doc[p + 1] != '"' && doc[p + 1] != '\'')) {
                return fail("bad attribute in <" + element.name + ">");
            }
            const char quote = doc[p + 1];
            const std::size_t end = doc.find(quote, p + 2);
            if (end == std::string_view::npos) {
                return fail("unterminated attribute value");
            }
            std::string value;
            if (!resolve(doc.substr(p + 2, end - p - 2), value, result.error)) {
                return result;
            }
            if (!element.attributes.emplace(attribute, std::move(value)).second) {
                return fail("repeated attribute " + attribute);
            }
            p = end + 1;
        }
        const bool empty = doc[p] == '/';
        p += empty ? 2 : 1;
        result.elements.push_back(std::move(element));
        if (!empty) {
            open.push_back(result.elements.size() - 1);
        }
    }
    if (result.elements.empty() || !open.empty()) {
        return fail("missing root element or unclosed element");
    }
    return result;
}

} // namespace tarn_package::testing
