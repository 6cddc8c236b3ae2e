// A reader for XML property lists (the "plist" files of the desktop-integration data that the
// setup library writes into a bottle): dictionaries, arrays, strings, numbers, booleans, data
// and dates, as a tree of values.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace larkhost {

struct PropertyValue {
    enum class Kind { String, Integer, Real, Boolean, Data, Date, Array, Dictionary };
    Kind kind = Kind::String;
    std::string text;  // the element's text; "true"/"false" for a Boolean
    std::vector<PropertyValue> items;                           // an Array's values
    std::vector<std::pair<std::string, PropertyValue>> entries;  // a Dictionary's, in file order

    // A Dictionary's value for `key`; null when absent or not a Dictionary.
    const PropertyValue* Find(const std::string& key) const;
};

// Parses an XML property list. None, with `error` set, when the text is not one.
std::optional<PropertyValue> ParsePropertyList(const std::string& xml, std::string& error);
// Reads and parses the file at `path`.
std::optional<PropertyValue> ReadPropertyList(const std::string& path, std::string& error);

}  // namespace larkhost
