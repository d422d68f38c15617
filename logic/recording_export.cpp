// Conversion of recordings into point cloud files, pictures and an index.
#include "logic/recording_export.h"

#include "device/gx_protocol.h"
#include "logic/display_pipeline.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// The shortest text that reads back as the same float ("nan" for NaN).
void append_number(std::string& out, float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void append_number(std::string& out, std::uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

std::string reason(int err) { return std::error_code(err, std::generic_category()).message(); }

} // namespace

recording_export::~recording_export() {
    if (index_ != nullptr) std::fclose(index_);
}

bool recording_export::open(const std::string& path, std::string& error) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
        error = "cannot open " + path + ": " + (ec ? ec.message() : reason(ENOENT));
        return false;
    }
    if (fs::is_directory(st)) {
        error = path + " is a directory, not a recording";
        return false;
    }
    if (!reader_.open(path)) {
        error = path + " is not a GX recording (or cannot be read)";
        return false;
    }
    return true;
}

std::vector<std::uint64_t> recording_export::select(const options& o, std::uint64_t records) {
    std::vector<std::uint64_t> out;
    if (records == 0 || o.every == 0 || o.from >= records) return out;
    const std::uint64_t last = std::min(o.to, records - 1);
    if (o.from > last) return out;
    out.reserve(std::size_t((last - o.from) / o.every + 1));
    for (std::uint64_t i = o.from;; i += o.every) {
        out.push_back(i);
        if (last - i < o.every) break;
    }
    return out;
}

bool recording_export::begin(const std::string& dir, const options& o, std::string& error) {
    options_ = o;
    dir_ = dir.empty() ? std::string(".") : dir;
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (ec || !fs::is_directory(dir_, ec)) {
        error = "cannot create the output folder " + dir_ + (ec ? ": " + ec.message() : std::string(": a file of that name is in the way"));
        return false;
    }
    if (index_ != nullptr) std::fclose(index_);
    const std::string path = dir_ + "/" + index_name;
    index_ = std::fopen(path.c_str(), "wb");
    if (index_ == nullptr) {
        error = "cannot write " + path + ": " + reason(errno);
        return false;
    }
    index_ok_ = std::fprintf(index_, "%s\n", index_header) > 0;
    return index_ok_;
}

recording_export::frame_result recording_export::convert(std::uint64_t i, std::string& error) {
    // As the device library's play mode: read, decode, points through the
    // frame's lens (a well-behaved one when the frame's lens is unusable), in
    // millimetres or bins by the frame's stream mode.
    gx::frame_info info;
    if (!reader_.read(i, buffer_, nullptr) || !gx::decode_frame(buffer_.data(), buffer_.size(), info, scene_))
        return frame_result::unreadable;
    rays_.update(info.lens, scene_.rows, scene_.cols);
    rays_.make_points(scene_, info.stream_mode);

    const std::string base = dir_ + "/" + stem(i);
    const std::string cloud_name = stem(i) + extension(options_.format);
    build_cloud(scene_, cloud_);
    const bool cloud_ok = options_.format == cloud_format::csv ? write_csv(dir_ + "/" + cloud_name, error)
                                                               : write_cloud(dir_ + "/" + cloud_name, error);
    if (!cloud_ok) return frame_result::write_failed;
    std::string images[3];
    if (options_.images && !write_images(base, images, error)) return frame_result::write_failed;

    if (index_ != nullptr) {
        std::string line;
        append_number(line, i);
        line += ',';
        append_number(line, std::uint64_t(scene_.frame_number));
        line += ',';
        line += seconds_text(scene_.timestamp.empty() ? 0 : scene_.timestamp[0]);
        line += ',';
        line += cloud_name;
        for (const std::string& name : images) line += ',' + name;
        line += '\n';
        if (std::fwrite(line.data(), 1, line.size(), index_) != line.size()) index_ok_ = false;
    }
    return frame_result::written;
}

bool recording_export::finish(std::string& error) {
    if (index_ == nullptr) return index_ok_;
    const bool closed = std::fclose(index_) == 0;
    index_ = nullptr;
    if (!index_ok_ || !closed) {
        error = "cannot write " + dir_ + "/" + index_name;
        index_ok_ = false;
        return false;
    }
    return true;
}

std::string recording_export::stem(std::uint64_t record) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, record);
    const std::string n(digits, r.ptr);
    return "frame_" + std::string(n.size() < 6 ? 6 - n.size() : 0, '0') + n;
}

const char* recording_export::extension(cloud_format f) {
    switch (f) {
    case cloud_format::ply: return ".ply";
    case cloud_format::csv: return ".csv";
    default: return ".pcd";
    }
}

void recording_export::build_cloud(const scene_t& scene, cloud_t& cloud) {
    const std::size_t n = std::size_t(scene.rows) * scene.cols;
    cloud.points.resize(n);
    cloud.width = scene.cols;
    cloud.height = scene.rows;
    const std::size_t have = std::min(n, scene.points.size());
    const std::size_t have_intensity = std::min(n, scene.intensity.size());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    bool dense = true;
    pcl::PointXYZI* out = cloud.points.data();
    for (std::size_t i = 0; i < n; ++i) {
        pcl::PointXYZI& q = out[i];
        q.intensity = i < have_intensity ? float(scene.intensity[i]) : 0.0f;
        if (i < have && scene.points[i].valid > 0) {
            const auto& p = scene.points[i];
            q.x = float(p.x / 1000.0);
            q.y = float(p.y / 1000.0);
            q.z = float(p.z / 1000.0);
            if (std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z)) continue;
        }
        q.x = q.y = q.z = nan;
        dense = false;
    }
    cloud.is_dense = dense;
}

std::string recording_export::seconds_text(std::uint64_t ticks) {
    constexpr std::uint64_t per_second = 100000000;  // 10 ns ticks
    std::string s;
    append_number(s, ticks / per_second);
    char frac[8];
    std::uint64_t rest = ticks % per_second;
    for (int k = 7; k >= 0; --k, rest /= 10) frac[k] = char('0' + rest % 10);
    s += '.';
    s.append(frac, 8);
    return s;
}

bool recording_export::write_cloud(const std::string& path, std::string& error) {
    int rc = -1;
    try {
        if (options_.format == cloud_format::ply) {
            // With the camera element PCL writes every point, NaN included, and
            // its reader takes width and height back from the viewport; without
            // it only the finite points are written, with a range grid that
            // other readers ignore.
            pcl::PLYWriter writer;
            rc = writer.write(path, cloud_, /*binary=*/true, /*use_camera=*/true);
        } else if (options_.ascii) {
            // PCL writes the numbers in the classic C++ locale, whatever the process's.
            pcl::PCDWriter writer;
            rc = writer.writeASCII(path, cloud_, 9);  // 9 digits: floats read back exactly
        } else {
            pcl::PCDWriter writer;
            rc = writer.writeBinary(path, cloud_);
        }
    } catch (const std::exception&) {
        rc = -1;
    }
    if (rc != 0) error = "cannot write " + path;
    return rc == 0;
}

bool recording_export::write_csv(const std::string& path, std::string& error) {
    text_.clear();
    text_ += "row,col,x,y,z,intensity\n";
    const pcl::PointXYZI* p = cloud_.points.data();
    for (std::uint32_t r = 0; r < cloud_.height; ++r)
        for (std::uint32_t c = 0; c < cloud_.width; ++c, ++p) {
            append_number(text_, std::uint64_t(r));
            text_ += ',';
            append_number(text_, std::uint64_t(c));
            text_ += ',';
            append_number(text_, p->x);
            text_ += ',';
            append_number(text_, p->y);
            text_ += ',';
            append_number(text_, p->z);
            text_ += ',';
            append_number(text_, p->intensity);
            text_ += '\n';
        }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot write " + path + ": " + reason(errno);
        return false;
    }
    const bool written = std::fwrite(text_.data(), 1, text_.size(), f) == text_.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool recording_export::write_images(const std::string& base, std::string names[3], std::string& error) {
    static const char* const suffix[3] = {"_ambient.png", "_depth.png", "_intensity.png"};
    const cv::Mat raw[3] = {display::wrap(scene_.ambient, scene_.rows, scene_.cols),
                            display::wrap(scene_.depth, scene_.rows, scene_.cols),
                            display::wrap(scene_.intensity, scene_.rows, scene_.cols)};
    static_assert(view_settings::kind_ambient == 0 && view_settings::kind_depth == 1 && view_settings::kind_intensity == 2,
                  "kinds index the arrays above");
    for (int k = 0; k < 3; ++k) {
        if (!display::render(raw[k], display::image_view_params(k, image_settings_.of(k)), grey8_[k], rgb_[k])) continue;
        // The picture as the image view's capture writes it: R, G, B turned
        // to the B, G, R order of the PNG writer, default PNG settings.
        cv::cvtColor(rgb_[k], bgr_, cv::COLOR_RGB2BGR);
        const std::string path = base + suffix[k];
        bool written = false;
        try {
            written = cv::imwrite(path, bgr_);
        } catch (const cv::Exception&) {
            written = false;
        }
        if (!written) {
            error = "cannot write " + path;
            return false;
        }
        names[k] = path.substr(path.find_last_of('/') + 1);
    }
    return true;
}
