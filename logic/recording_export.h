// Conversion of a recording (*.bin) into files that other point cloud tools
// read: one organised point cloud per frame (PCD, PLY or CSV; metres; x y z
// and intensity), optionally the image view's three pictures as PNG, and an
// index of the frames written. The frames are read and turned into points
// exactly as the device library's play mode does, so every file holds the
// points the viewer shows for that frame.
//
//   recording_export ex;
//   ex.open("rec.bin", error);                  // false: not a recording
//   ex.begin("out", options, error);            // creates out/, starts out/index.csv
//   for (auto i : recording_export::select(options, ex.records())) ex.convert(i, error);
//   ex.finish(error);
#pragma once

#include "device/DadodUz.h"
#include "device/gx_lens.h"
#include "device/gx_recording.h"
#include "logic/view_settings.h"

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

class recording_export {
public:
    using scene_t = TAVRIN::DadodUz::scene_t;
    using cloud_t = pcl::PointCloud<pcl::PointXYZI>;

    enum class cloud_format { pcd, ply, csv };

    struct options {
        cloud_format format = cloud_format::pcd;
        bool ascii = false;   // PCD only: ASCII instead of binary
        // Records by their position in the file, counted from 0: from, from +
        // every, from + 2 every, ... while <= to (inclusive; past the last
        // record means up to the last).
        std::uint64_t from = 0;
        std::uint64_t to = std::numeric_limits<std::uint64_t>::max();
        std::uint64_t every = 1;
        bool images = false;  // the three PNG pictures of the image view
    };

    enum class frame_result {
        written,      // every file of the frame was written
        unreadable,   // the record could not be read or decoded: skipped, nothing written
        write_failed, // a file could not be written (error says which)
    };

    recording_export() = default;
    ~recording_export();
    recording_export(const recording_export&) = delete;
    recording_export& operator=(const recording_export&) = delete;

    // Opens a recording. False, with the reason, when it cannot be read or is
    // not a recording.
    bool open(const std::string& path, std::string& error);
    std::uint64_t records() const { return reader_.frames(); }
    // True when the file's index was missing or damaged (a recording cut off
    // or never closed) and the complete records were found by scanning.
    bool index_was_rebuilt() const { return reader_.index_was_rebuilt(); }

    // The records `o` selects in a recording of `records` records, in order.
    static std::vector<std::uint64_t> select(const options& o, std::uint64_t records);

    // Creates `dir` (and its parents) when missing and starts `dir`/index.csv.
    // False, with the reason, when that fails.
    bool begin(const std::string& dir, const options& o, std::string& error);
    // Reads record i and writes its files. On write_failed, error names the file.
    frame_result convert(std::uint64_t i, std::string& error);
    // Completes the index file. False, with the reason, when it could not be
    // written.
    bool finish(std::string& error);

    // File names of record i: "frame_000012" + ".pcd", "_ambient.png", ...
    static std::string stem(std::uint64_t record);
    static const char* extension(cloud_format f);
    static constexpr const char* index_name = "index.csv";
    static constexpr const char* index_header = "record,frame_number,time_s,cloud,ambient,depth,intensity";

    // Organised cloud of the frame: width = cols, height = rows; point i =
    // scene.points[i] in metres (each coordinate divided by 1000 in double
    // precision and stored as float, as the point cloud view does) with the
    // pixel's raw intensity. Pixels without a return (or with a non-finite
    // coordinate) are NaN, and the cloud is then not dense.
    static void build_cloud(const scene_t& scene, cloud_t& cloud);
    // Sensor ticks (10 ns) as seconds, exact, in the C notation: "12.34567890".
    static std::string seconds_text(std::uint64_t ticks);

private:
    bool write_cloud(const std::string& path, std::string& error);
    bool write_csv(const std::string& path, std::string& error);
    bool write_images(const std::string& base, std::string names[3], std::string& error);

    gx::recording_reader reader_;
    std::vector<std::uint8_t> buffer_;
    scene_t scene_;
    gx::lens_rays rays_;
    cloud_t cloud_;
    std::string text_;  // CSV text of one frame, reused
    view_settings::image_settings image_settings_;  // the image view's initial settings
    cv::Mat grey8_[3], rgb_[3], bgr_;
    options options_;
    std::string dir_;
    std::FILE* index_ = nullptr;
    bool index_ok_ = true;
};
