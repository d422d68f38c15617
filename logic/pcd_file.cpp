#include "logic/pcd_file.h"

#include <pcl/io/pcd_io.h>

#include <clocale>
#include <cstdint>
#include <exception>
#include <locale.h>
#include <fstream>
#include <sstream>
#include <vector>

namespace pcd_file {

namespace {

// The sizes a header claims. PCL's own header reader sizes the data buffer
// from them before it looks at the data, so they are checked here first.
struct header_claims {
    std::uint64_t points = 0;        // the larger of POINTS and WIDTH x HEIGHT
    std::uint64_t values = 0;        // values per point (sum of COUNT)
    std::uint64_t point_bytes = 0;   // bytes per point (sum of SIZE x COUNT)
    std::string data;                // ascii, binary, binary_compressed
};

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

bool scan_header(std::istream& in, header_claims& h, std::string& error) {
    std::uint64_t width = 1, height = 1, points = 0;
    std::vector<std::uint64_t> sizes, counts;
    std::string line;
    for (int lines = 0; lines < 64 && std::getline(in, line); ++lines) {
        std::istringstream words(line);
        std::string key, word;
        words >> key;
        std::vector<std::uint64_t> values;
        bool numeric = true;
        while (words >> word) {
            std::uint64_t v = 0;
            if (number(word, v)) values.push_back(v);
            else numeric = false;
        }
        const bool one = numeric && values.size() == 1;
        if (key == "WIDTH" && one) width = values[0];
        else if (key == "HEIGHT" && one) height = values[0];
        else if (key == "POINTS" && one) points = values[0];
        else if (key == "SIZE" && numeric) sizes = values;
        else if (key == "COUNT" && numeric) counts = values;
        else if (key == "DATA") {
            std::istringstream rest(line);
            rest >> key >> h.data;
            if (counts.empty()) counts.assign(sizes.size(), 1);
            if (sizes.empty() || counts.size() != sizes.size()) {
                error = "its fields are not described";
                return false;
            }
            for (std::size_t i = 0; i < sizes.size(); ++i) {
                if (sizes[i] > 8 || counts[i] > max_points) {
                    error = "a field is larger than a point cloud field can be";
                    return false;
                }
                h.values += counts[i];
                h.point_bytes += sizes[i] * counts[i];
            }
            if (width > max_points || height > max_points) {
                error = "it claims more points than a point cloud can hold";
                return false;
            }
            h.points = std::max(points, width * height);
            return true;
        }
    }
    error = "it has no point cloud header";
    return false;
}

// PCL reads the numbers of an ASCII file through the C library, which
// follows LC_NUMERIC: under a German locale "0.1" reads as 0. While one lives,
// this thread reads numbers in the C notation.
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
    header_claims h;
    if (size <= 0 || !scan_header(in, h, error)) {
        if (size <= 0) error = "it is empty";
        return false;
    }
    const std::uint64_t file_size = std::uint64_t(size);
    // Every value takes at least one byte of an uncompressed file.
    const bool compressed = h.data == "binary_compressed";
    if (h.points > max_points || h.points * h.point_bytes > max_points * 64 ||
        (!compressed && h.points * h.values > file_size)) {
        error = "it claims more points than it holds";
        return false;
    }
    cloud_t loaded;
    try {
        const c_numbers_on_this_thread c_notation;
        pcl::PCDReader reader;
        if (reader.read(path, loaded) != 0) {
            error = "it is not a readable point cloud file";
            return false;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    cloud.swap(loaded);
    return true;
}

} // namespace pcd_file
