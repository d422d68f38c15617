#include "logic/pcd_file.h"

#include <pcl/io/pcd_io.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <locale.h>
#include <new>
#include <vector>

namespace pcd_file {

namespace {

bool number(const std::string& word, std::uint64_t& out) {
    if (word.empty() || word.size() > 18) return false;
    std::uint64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    out = v;
    return true;
}

// The C library's number conversions (strtod here, the stream output of PCL's
// writer) follow LC_NUMERIC: under a German locale "0.1" reads as 0. While one
// lives, this thread reads and writes numbers in the C notation.
class c_numbers_on_this_thread {
public:
    c_numbers_on_this_thread() {
        static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        if (c_locale != static_cast<locale_t>(0)) previous_ = uselocale(c_locale);
    }
    ~c_numbers_on_this_thread() {
        if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
    }
    c_numbers_on_this_thread(const c_numbers_on_this_thread&) = delete;
    c_numbers_on_this_thread& operator=(const c_numbers_on_this_thread&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};


// The fields of a point as the header describes them.
struct field {
    std::string name;
    char type = 'F';            // F float, U unsigned, I signed
    std::uint64_t size = 4;     // bytes of one value: 1, 2, 4 or 8
    std::uint64_t count = 1;    // values
    std::uint64_t offset = 0;   // bytes into the point
};

struct header {
    std::vector<field> fields;
    std::uint64_t width = 0, height = 1, points = 0;
    std::uint64_t point_step = 0;
    std::string data;           // ascii, binary, binary_compressed
    std::size_t body = 0;       // where the data starts in the file
};

constexpr std::size_t max_fields = 256;
constexpr std::uint64_t max_count = std::uint64_t(1) << 20;
// The largest file read, and the most bytes the points of one may take.
constexpr std::uint64_t max_file_bytes = std::uint64_t(1) << 30;
constexpr std::uint64_t max_data_bytes = max_points * 64;

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
        if (j > i) words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

bool numbers_of(const std::vector<std::string>& words, std::vector<std::uint64_t>& out) {
    out.clear();
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::uint64_t v = 0;
        if (!number(words[i], v)) return false;
        out.push_back(v);
    }
    return true;
}

bool one_number(const std::vector<std::string>& words, std::uint64_t& out) {
    return words.size() == 2 && number(words[1], out);
}

bool parse_header(const std::string& file, header& h, std::string& error) {
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes, counts;
    std::string types;
    bool has_width = false, has_points = false, has_counts = false;
    std::size_t at = 0;
    while (at < file.size()) {
        std::size_t end = file.find('\n', at);
        if (end == std::string::npos) end = file.size();
        const std::vector<std::string> words = words_of(file.substr(at, std::min<std::size_t>(end - at, 1 << 16)));
        at = end + 1;
        if (words.empty() || words[0][0] == '#') continue;
        const std::string& key = words[0];
        std::vector<std::uint64_t> values;
        if (key == "VERSION" || key == "VIEWPOINT") {
            continue;
        } else if (key == "FIELDS") {
            names.assign(words.begin() + 1, words.end());
        } else if (key == "SIZE" || key == "COUNT") {
            if (!numbers_of(words, values)) {
                error = "its " + key + " line is not a list of whole numbers";
                return false;
            }
            if (key == "SIZE") sizes = values;
            else counts = values, has_counts = true;
        } else if (key == "TYPE") {
            types.clear();
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (words[i].size() != 1) types += '?';
                else types += words[i][0];
            }
        } else if (key == "WIDTH" || key == "HEIGHT" || key == "POINTS") {
            std::uint64_t v = 0;
            if (!one_number(words, v)) {
                error = "its " + key + " line is not one whole number";
                return false;
            }
            if (key == "WIDTH") h.width = v, has_width = true;
            else if (key == "HEIGHT") h.height = v;
            else h.points = v, has_points = true;
        } else if (key == "DATA") {
            if (words.size() != 2 || (words[1] != "ascii" && words[1] != "binary" && words[1] != "binary_compressed")) {
                error = "its DATA is none of ascii, binary and binary_compressed";
                return false;
            }
            h.data = words[1];
            h.body = std::min(at, file.size());
            break;
        } else {
            error = "its header has an unknown line " + key.substr(0, 32);
            return false;
        }
    }
    if (h.data.empty()) {
        error = "it has no point cloud header";
        return false;
    }
    if (!has_counts) counts.assign(names.size(), 1);
    if (names.empty() || names.size() > max_fields || sizes.size() != names.size() || types.size() != names.size() ||
        counts.size() != names.size()) {
        error = "its fields are not described";
        return false;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        field f;
        f.name = names[i];
        f.type = types[i];
        f.size = sizes[i];
        f.count = counts[i];
        const bool size_ok = f.type == 'F' ? (f.size == 4 || f.size == 8)
                                           : ((f.type == 'U' || f.type == 'I') &&
                                              (f.size == 1 || f.size == 2 || f.size == 4 || f.size == 8));
        if (!size_ok || f.count < 1 || f.count > max_count) {
            error = "its field " + f.name.substr(0, 32) + " has no valid type, size and count";
            return false;
        }
        f.offset = h.point_step;
        h.point_step += f.size * f.count;
        h.fields.push_back(f);
    }
    if (!has_width || h.width > max_points || h.height > max_points || h.width * h.height > max_points) {
        error = has_width ? "it claims more points than a point cloud can hold" : "it has no WIDTH";
        return false;
    }
    if (has_points && h.points != h.width * h.height) {
        error = "its POINTS is not WIDTH x HEIGHT";
        return false;
    }
    h.points = h.width * h.height;
    if (h.points * h.point_step > max_data_bytes) {
        error = "its points are larger than a point cloud can hold";
        return false;
    }
    return true;
}

const field* field_named(const header& h, const char* name) {
    for (const field& f : h.fields)
        if (f.name == name) return &f;
    return nullptr;
}

// One little-endian value of field f at p, as a double.
double value_at(const field& f, const unsigned char* p) {
    std::uint64_t bits = 0;
    for (std::uint64_t i = 0; i < f.size; ++i) bits |= std::uint64_t(p[i]) << (8 * i);
    if (f.type == 'F') {
        if (f.size == 4) {
            float v;
            const std::uint32_t b = std::uint32_t(bits);
            std::memcpy(&v, &b, 4);
            return v;
        }
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    if (f.type == 'U') return double(bits);
    const std::uint64_t sign = std::uint64_t(1) << (8 * f.size - 1);
    return f.size == 8 ? double(std::int64_t(bits)) : double(std::int64_t((bits ^ sign)) - std::int64_t(sign));
}

// The fields the points take: x, y, z, and the colour when there is a 4-byte one.
struct point_fields {
    const field* xyz[3] = {nullptr, nullptr, nullptr};
    const field* colour = nullptr;
};

bool fields_of_points(const header& h, point_fields& p, std::string& error) {
    p.xyz[0] = field_named(h, "x");
    p.xyz[1] = field_named(h, "y");
    p.xyz[2] = field_named(h, "z");
    if (p.xyz[0] == nullptr || p.xyz[1] == nullptr || p.xyz[2] == nullptr) {
        error = "it has no x, y and z fields";
        return false;
    }
    p.colour = field_named(h, "rgb");
    if (p.colour == nullptr) p.colour = field_named(h, "rgba");
    if (p.colour != nullptr && p.colour->size != 4) p.colour = nullptr;
    return true;
}

// Points from data laid out point after point (binary) or field after field
// (the decompressed data of binary_compressed); `data` holds them all.
void points_from_bytes(const header& h, const point_fields& pf, const unsigned char* data, bool by_field,
                       cloud_t& out) {
    const auto at = [&](const field& f, std::uint64_t i) {
        return by_field ? data + h.points * f.offset + i * f.size * f.count : data + i * h.point_step + f.offset;
    };
    for (std::uint64_t i = 0; i < h.points; ++i) {
        pcl::PointXYZRGB& q = out.points[std::size_t(i)];
        q.x = float(value_at(*pf.xyz[0], at(*pf.xyz[0], i)));
        q.y = float(value_at(*pf.xyz[1], at(*pf.xyz[1], i)));
        q.z = float(value_at(*pf.xyz[2], at(*pf.xyz[2], i)));
        if (pf.colour != nullptr) std::memcpy(&q.rgba, at(*pf.colour, i), 4);
    }
}

// Under a c_numbers_on_this_thread.
bool parse_double(const std::string& word, double& out) {
    const char* begin = word.c_str();
    char* end = nullptr;
    out = std::strtod(begin, &end);
    return end == begin + word.size() && !word.empty();
}

bool points_from_ascii(const std::string& file, const header& h, const point_fields& pf, cloud_t& out,
                       std::string& error) {
    std::uint64_t values = 0;
    for (const field& f : h.fields) values += f.count;
    // The index of the first value of each field in a line.
    const auto first_value = [&](const field* f) {
        std::uint64_t n = 0;
        for (const field& g : h.fields) {
            if (&g == f) break;
            n += g.count;
        }
        return n;
    };
    const std::uint64_t xi = first_value(pf.xyz[0]), yi = first_value(pf.xyz[1]), zi = first_value(pf.xyz[2]);
    const std::uint64_t ci = pf.colour != nullptr ? first_value(pf.colour) : 0;
    const c_numbers_on_this_thread c_notation;
    std::size_t at = h.body;
    std::uint64_t point = 0;
    while (point < h.points && at < file.size()) {
        std::size_t end = file.find('\n', at);
        if (end == std::string::npos) end = file.size();
        const std::vector<std::string> words = words_of(file.substr(at, end - at));
        at = end + 1;
        if (words.empty()) continue;
        if (words.size() != values) {
            error = "its point " + std::to_string(point + 1) + " has " + std::to_string(words.size()) +
                    " values, not " + std::to_string(values);
            return false;
        }
        double v[3];
        for (int k = 0; k < 3; ++k) {
            if (!parse_double(words[std::size_t(k == 0 ? xi : k == 1 ? yi : zi)], v[k])) {
                error = "its point " + std::to_string(point + 1) + " has a value that is not a number";
                return false;
            }
        }
        pcl::PointXYZRGB& q = out.points[std::size_t(point)];
        q.x = float(v[0]);
        q.y = float(v[1]);
        q.z = float(v[2]);
        if (pf.colour != nullptr) {
            // The colour as the packed integer the writer puts down, or a float holding its bits.
            const std::string& w = words[std::size_t(ci)];
            std::uint64_t packed = 0;
            double as_float = 0;
            if (number(w, packed) && packed <= 0xffffffffu) {
                q.rgba = std::uint32_t(packed);
            } else if (parse_double(w, as_float)) {
                const float f = float(as_float);
                std::memcpy(&q.rgba, &f, 4);
            }
        }
        ++point;
    }
    if (point < h.points) {
        error = "it holds " + std::to_string(point) + " of the " + std::to_string(h.points) + " points it claims";
        return false;
    }
    return true;
}

// LZF, as the binary_compressed data is packed: false unless `in` decodes to
// exactly `out.size()` bytes.
bool lzf_decompress(const unsigned char* in, std::size_t in_size, std::vector<unsigned char>& out) {
    std::size_t ip = 0, op = 0;
    const std::size_t out_size = out.size();
    while (ip < in_size) {
        const unsigned ctrl = in[ip++];
        if (ctrl < 32) {
            const std::size_t len = ctrl + 1;
            if (in_size - ip < len || out_size - op < len) return false;
            std::memcpy(out.data() + op, in + ip, len);
            ip += len;
            op += len;
        } else {
            std::size_t len = ctrl >> 5;
            if (len == 7) {
                if (ip >= in_size) return false;
                len += in[ip++];
            }
            if (ip >= in_size) return false;
            const std::size_t back = ((std::size_t(ctrl) & 0x1f) << 8) + in[ip++] + 1;
            len += 2;
            if (back > op || out_size - op < len) return false;
            for (std::size_t i = 0; i < len; ++i, ++op) out[op] = out[op - back];
        }
    }
    return op == out_size;
}

bool read_points(const std::string& file, const header& h, cloud_t& out, std::string& error) {
    point_fields pf;
    if (!fields_of_points(h, pf, error)) return false;
    const std::uint64_t bytes = h.points * h.point_step;
    const std::uint64_t available = file.size() - h.body;
    std::uint64_t values = 0;
    for (const field& f : h.fields) values += f.count;
    // Checked before the points are allocated: every value of an ASCII file
    // takes at least a byte, a binary file holds all of them.
    if ((h.data == "ascii" && h.points * values > available) || (h.data == "binary" && bytes > available)) {
        error = "it holds less data than its header claims";
        return false;
    }
    out.resize(std::size_t(h.points));
    out.width = std::uint32_t(h.width);
    out.height = std::uint32_t(h.height);
    const auto* body = reinterpret_cast<const unsigned char*>(file.data()) + h.body;
    if (h.data == "ascii") {
        if (!points_from_ascii(file, h, pf, out, error)) return false;
    } else if (h.data == "binary") {
        points_from_bytes(h, pf, body, false, out);
    } else {
        std::uint32_t packed_size = 0, unpacked_size = 0;
        if (available < 8) {
            error = "its compressed data has no sizes";
            return false;
        }
        std::memcpy(&packed_size, body, 4);
        std::memcpy(&unpacked_size, body + 4, 4);
        // LZF makes at most 88 bytes of each byte it reads (264 of a 3-byte back reference).
        if (unpacked_size != bytes || packed_size > available - 8 || std::uint64_t(packed_size) * 88 < bytes) {
            error = "its compressed data does not match its header";
            return false;
        }
        std::vector<unsigned char> data(std::size_t(bytes), 0);
        if (!lzf_decompress(body + 8, packed_size, data)) {
            error = "its compressed data is damaged";
            return false;
        }
        points_from_bytes(h, pf, data.data(), true, out);
    }
    out.is_dense = true;
    for (const pcl::PointXYZRGB& p : out.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            out.is_dense = false;
            break;
        }
    return true;
}

} // namespace

bool write_ascii(const std::string& path, const cloud_t& cloud) {
    try {
        const c_numbers_on_this_thread c_notation;
        pcl::PCDWriter writer;
        return writer.writeASCII(path, cloud, 8) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool read(const std::string& path, cloud_t& cloud, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "it cannot be opened";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size <= 0) {
        error = "it is empty";
        return false;
    }
    if (std::uint64_t(size) > max_file_bytes) {
        error = "it is larger than a point cloud file can be";
        return false;
    }
    std::string file(std::size_t(size), '\0');
    if (!in.read(&file[0], size)) {
        error = "it cannot be read";
        return false;
    }
    header h;
    if (!parse_header(file, h, error)) return false;
    cloud_t loaded;
    try {
        if (!read_points(file, h, loaded, error)) return false;
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for its points";
        return false;
    }
    cloud.swap(loaded);
    return true;
}

} // namespace pcd_file
