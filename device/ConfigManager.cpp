#include "device/ConfigManager.h"

#include "device/c_numbers.h"

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <cerrno>
#include <clocale>
#include <locale.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <unistd.h>

namespace TAVRIN {

namespace {

namespace pt = boost::property_tree;

// Paths into the ptree use a separator that never occurs in a section or key,
// so that names holding '.' stay one path element.
pt::ptree::path_type path_of(const std::string& name) { return pt::ptree::path_type(name, '\x1f'); }

bool valid_name(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    const std::string s(name);
    if (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t') return false;
    if (s.front() == ';' || s.front() == '#') return false;
    for (char c : s)
        if (c == '[' || c == ']' || c == '=' || c == '\n' || c == '\r' || c == '\x1f') return false;
    return true;
}

// ---- element encoding ----------------------------------------------------

std::string encode(const std::string& v) {
    std::string out = "\"";
    for (unsigned char c : v) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char buf[5];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += static_cast<char>(c); // UTF-8 bytes pass through unchanged
            }
        }
    }
    out += '"';
    return out;
}

std::string encode(int v) { return std::to_string(v); }

std::string encode(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return c_numbers::general(v, 17);
}

// Splits an encoded value into raw element texts. Quoted elements are
// unescaped; unquoted elements are trimmed. Returns false on a malformed value
// (an unterminated quote, a bad escape, text after a closing quote).
struct element {
    std::string text;
    bool quoted = false;
};

bool split(const std::string& value, std::vector<element>& out) {
    out.clear();
    std::size_t i = 0;
    const std::size_t n = value.size();
    auto skip_blanks = [&] {
        while (i < n && (value[i] == ' ' || value[i] == '\t')) ++i;
    };
    skip_blanks();
    if (i == n) return true; // empty vector
    while (true) {
        skip_blanks();
        element e;
        if (i < n && value[i] == '"') {
            e.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                char c = value[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    e.text += c;
                    continue;
                }
                if (i >= n) return false;
                char x = value[i++];
                switch (x) {
                case '"': e.text += '"'; break;
                case '\\': e.text += '\\'; break;
                case 'n': e.text += '\n'; break;
                case 'r': e.text += '\r'; break;
                case 't': e.text += '\t'; break;
                case 'x': {
                    if (i + 2 > n) return false;
                    const std::string hex = value.substr(i, 2);
                    char* end = nullptr;
                    long code = std::strtol(hex.c_str(), &end, 16);
                    if (end != hex.c_str() + 2) return false;
                    e.text += static_cast<char>(code);
                    i += 2;
                    break;
                }
                default: return false;
                }
            }
            if (!closed) return false;
            skip_blanks();
        } else {
            std::size_t start = i;
            while (i < n && value[i] != ',') ++i;
            std::size_t end = i;
            while (end > start && (value[end - 1] == ' ' || value[end - 1] == '\t')) --end;
            e.text = value.substr(start, end - start);
        }
        out.push_back(std::move(e));
        if (i == n) return true;
        if (value[i] != ',') return false;
        ++i;
    }
}

bool convert(const element& e, std::string& v) {
    v = e.text;
    return true;
}

bool convert(const element& e, int& v) {
    if (e.quoted || e.text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long x = std::strtoll(e.text.c_str(), &end, 10);
    if (errno != 0 || end != e.text.c_str() + e.text.size()) return false;
    if (x < std::numeric_limits<int>::min() || x > std::numeric_limits<int>::max()) return false;
    v = static_cast<int>(x);
    return true;
}

bool convert(const element& e, double& v) {
    if (e.quoted || e.text.empty()) return false;
    const std::string& t = e.text;
    if (t == "nan") {
        v = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (t == "inf" || t == "+inf") {
        v = std::numeric_limits<double>::infinity();
        return true;
    }
    if (t == "-inf") {
        v = -std::numeric_limits<double>::infinity();
        return true;
    }
    // Parse in the C locale whatever the process locale is. Subnormal values
    // set ERANGE but are exact; only overflow to infinity is refused.
    errno = 0;
    char* end = nullptr;
    double x = c_numbers::parse(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return false;
    if (errno == ERANGE && std::isinf(x)) return false;
    v = x;
    return true;
}

} // namespace

ConfigManager::ConfigManager(int format) : format_(format) {}

void ConfigManager::clear() { data_.clear(); }

bool ConfigManager::has(const char* section, const char* key) const {
    if (section == nullptr || key == nullptr) return false;
    auto s = data_.find(section);
    return s != data_.end() && s->second.count(key) != 0;
}

template <typename T>
bool ConfigManager::set(const std::vector<T>& values, const char* section, const char* key) {
    if (!valid_name(section) || !valid_name(key)) return false;
    std::string encoded;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) encoded += ", ";
        encoded += encode(values[i]);
    }
    data_[section][key] = encoded;
    return true;
}

template <typename T>
bool ConfigManager::get(std::vector<T>& values, const char* section, const char* key) const {
    if (section == nullptr || key == nullptr) return false;
    auto s = data_.find(section);
    if (s == data_.end()) return false;
    auto k = s->second.find(key);
    if (k == s->second.end()) return false;
    std::vector<element> elements;
    if (!split(k->second, elements)) return false;
    std::vector<T> result(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i)
        if (!convert(elements[i], result[i])) return false;
    values = std::move(result);
    return true;
}

bool ConfigManager::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    pt::ptree tree;
    try {
        pt::ini_parser::read_ini(in, tree);
    } catch (const std::exception&) {
        return false;
    }
    std::map<std::string, std::map<std::string, std::string>> loaded;
    for (const auto& section : tree) {
        // A key outside any section is not part of this store's format.
        if (section.second.empty() && !section.second.data().empty()) return false;
        auto& keys = loaded[section.first];
        for (const auto& kv : section.second) {
            std::vector<element> check;
            if (!split(kv.second.data(), check)) return false;
            keys[kv.first] = kv.second.data();
        }
    }
    data_ = std::move(loaded);
    return true;
}

bool ConfigManager::save(const std::string& path) const {
    pt::ptree tree;
    for (const auto& section : data_) {
        pt::ptree keys;
        for (const auto& kv : section.second) keys.put(path_of(kv.first), kv.second);
        tree.add_child(path_of(section.first), keys);
    }
    const std::string tmp = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << "; TAVRIN configuration store, format " << format_ << "\n";
        try {
            pt::ini_parser::write_ini(out, tree);
        } catch (const std::exception&) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

template bool ConfigManager::set<std::string>(const std::vector<std::string>&, const char*, const char*);
template bool ConfigManager::set<int>(const std::vector<int>&, const char*, const char*);
template bool ConfigManager::set<double>(const std::vector<double>&, const char*, const char*);
template bool ConfigManager::get<std::string>(std::vector<std::string>&, const char*, const char*) const;
template bool ConfigManager::get<int>(std::vector<int>&, const char*, const char*) const;
template bool ConfigManager::get<double>(std::vector<double>&, const char*, const char*) const;

} // namespace TAVRIN
