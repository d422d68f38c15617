// Public interface of the core library (libtavrin_core): a key/value store
// with sections, kept on disk as an ordinary INI file.
//
// Every value is a vector of strings, ints or doubles. On disk a vector is one
// INI value: its elements separated by ", ", numbers as plain decimal text
// (doubles with 17 significant digits, so they survive exactly), strings in
// double quotes with C-style escapes. No Qt types appear here.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace TAVRIN {

class ConfigManager {
public:
    // `format` is the file format revision written into the file's header
    // comment; revision 4 is the current one.
    explicit ConfigManager(int format = 4);

    // Replaces the store's contents by the file's. A missing, unreadable or
    // malformed file returns false and leaves the contents as they were.
    bool load(const std::string& path);
    // Writes the store to path (through a temporary file and a rename, so an
    // existing file is never left half written). Returns false on failure.
    bool save(const std::string& path) const;

    // Stores values under [section] key. Returns false (and stores nothing)
    // for a section or key that an INI file cannot carry (empty, or holding
    // '[', ']', '=', a line break, or leading/trailing blanks).
    template <typename T>
    bool set(const std::vector<T>& values, const char* section, const char* key);

    // Reads [section] key into values. Returns false, leaving values
    // untouched, when the key is missing or an element does not convert to T.
    template <typename T>
    bool get(std::vector<T>& values, const char* section, const char* key) const;

    bool has(const char* section, const char* key) const;
    void clear();

private:
    int format_;
    // section -> key -> encoded value, in a stable (sorted) order.
    std::map<std::string, std::map<std::string, std::string>> data_;
};

extern template bool ConfigManager::set<std::string>(const std::vector<std::string>&, const char*, const char*);
extern template bool ConfigManager::set<int>(const std::vector<int>&, const char*, const char*);
extern template bool ConfigManager::set<double>(const std::vector<double>&, const char*, const char*);
extern template bool ConfigManager::get<std::string>(std::vector<std::string>&, const char*, const char*) const;
extern template bool ConfigManager::get<int>(std::vector<int>&, const char*, const char*) const;
extern template bool ConfigManager::get<double>(std::vector<double>&, const char*, const char*) const;

} // namespace TAVRIN
