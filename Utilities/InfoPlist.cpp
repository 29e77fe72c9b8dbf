#include "InfoPlist.h"

#include <exception>

#include <boost/filesystem/operations.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace NDUtilities {

std::optional<std::string> infoPlistString(const std::string& plistPath, const std::string& key)
{
    namespace pt = boost::property_tree;
    // Only a plain file is read: opening a pipe would wait for a writer.
    boost::system::error_code error;
    if (!boost::filesystem::is_regular_file(plistPath, error))
        return std::nullopt;
    pt::ptree tree;
    try {
        pt::read_xml(plistPath, tree, pt::xml_parser::no_comments);
    } catch (const std::exception&) {
        // Parse errors, and read errors that the stream reports by exception.
        return std::nullopt;
    }
    const auto dict = tree.get_child_optional("plist.dict");
    if (!dict)
        return std::nullopt;

    // A dictionary is a flat run of <key> elements, each followed by its value.
    for (auto it = dict->begin(); it != dict->end(); ++it) {
        if (it->first != "key" || it->second.data() != key)
            continue;
        auto value = std::next(it);
        if (value == dict->end() || value->first != "string")
            return std::nullopt;
        return value->second.data();
    }
    return std::nullopt;
}

} // namespace NDUtilities
