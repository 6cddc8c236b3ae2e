#include "PropertyList.h"

#include <tinyxml2.h>
#include <cstring>
#include <fstream>
#include <sstream>

namespace larkhost {
namespace {

using tinyxml2::XMLElement;

// Deeper nesting than this is refused rather than recursed into.
constexpr int kMaxDepth = 64;

bool ParseValue(const XMLElement* element, PropertyValue& out, int depth, std::string& error) {
    if (depth > kMaxDepth) {
        error = "nesting too deep";
        return false;
    }
    const char* name = element->Name();
    const char* text = element->GetText();
    out.text = text != nullptr ? text : "";
    using Kind = PropertyValue::Kind;
    if (std::strcmp(name, "string") == 0) {
        out.kind = Kind::String;
    } else if (std::strcmp(name, "integer") == 0) {
        out.kind = Kind::Integer;
    } else if (std::strcmp(name, "real") == 0) {
        out.kind = Kind::Real;
    } else if (std::strcmp(name, "true") == 0 || std::strcmp(name, "false") == 0) {
        out.kind = Kind::Boolean;
        out.text = name;
    } else if (std::strcmp(name, "data") == 0) {
        out.kind = Kind::Data;
    } else if (std::strcmp(name, "date") == 0) {
        out.kind = Kind::Date;
    } else if (std::strcmp(name, "array") == 0) {
        out.kind = Kind::Array;
        out.text.clear();
        for (const XMLElement* child = element->FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
            PropertyValue value;
            if (!ParseValue(child, value, depth + 1, error)) return false;
            out.items.push_back(std::move(value));
        }
    } else if (std::strcmp(name, "dict") == 0) {
        out.kind = Kind::Dictionary;
        out.text.clear();
        for (const XMLElement* child = element->FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
            if (std::strcmp(child->Name(), "key") != 0) {
                error = std::string("<") + child->Name() + "> where a <key> belongs, line " +
                        std::to_string(child->GetLineNum());
                return false;
            }
            const XMLElement* valueElement = child->NextSiblingElement();
            if (valueElement == nullptr) {
                error = "a <key> without a value, line " + std::to_string(child->GetLineNum());
                return false;
            }
            PropertyValue value;
            if (!ParseValue(valueElement, value, depth + 1, error)) return false;
            const char* key = child->GetText();
            out.entries.emplace_back(key != nullptr ? key : "", std::move(value));
            child = valueElement;
        }
    } else {
        error = std::string("unknown element <") + name + ">, line " +
                std::to_string(element->GetLineNum());
        return false;
    }
    return true;
}

}  // namespace

const PropertyValue* PropertyValue::Find(const std::string& key) const {
    if (kind != Kind::Dictionary) return nullptr;
    for (const auto& [name, value] : entries)
        if (name == key) return &value;
    return nullptr;
}

std::optional<PropertyValue> ParsePropertyList(const std::string& xml, std::string& error) {
    tinyxml2::XMLDocument document;
    if (document.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) {
        error = document.ErrorStr();
        return std::nullopt;
    }
    const XMLElement* root = document.RootElement();
    if (root == nullptr || std::strcmp(root->Name(), "plist") != 0) {
        error = "the document is not a property list";
        return std::nullopt;
    }
    const XMLElement* top = root->FirstChildElement();
    if (top == nullptr || top->NextSiblingElement() != nullptr) {
        error = "a property list holds exactly one value";
        return std::nullopt;
    }
    PropertyValue value;
    if (!ParseValue(top, value, 0, error)) return std::nullopt;
    return value;
}

std::optional<PropertyValue> ReadPropertyList(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot be read";
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = "cannot be read";
        return std::nullopt;
    }
    return ParsePropertyList(text.str(), error);
}

}  // namespace larkhost
