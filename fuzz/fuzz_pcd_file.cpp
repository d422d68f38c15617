// Fuzz target: the reader of the lens calibration tool's ground-truth point
// clouds (pcd_file::read: the header check, then PCL's PCD reader). The bytes
// are written to a file, as the tool reads one. Whatever the file, the read
// ends without a crash or a huge allocation; a refused file gives a reason and
// leaves the cloud as it was, and a read cloud is consistent (its points are
// WIDTH x HEIGHT, at most pcd_file::max_points).
#include "logic/pcd_file.h"

#include <pcl/console/print.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The file the reader opens: an anonymous file in memory, under its
// /proc/self/fd name, so that nothing is left behind however a run ends.
int file_fd = -1;
std::string file_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pcl::console::setVerbosityLevel(pcl::console::L_ALWAYS); // PCL's warnings on every malformed file
    file_fd = memfd_create("fuzz_pcd_file", 0);
    if (file_fd < 0) std::abort();
    file_path = "/proc/self/fd/" + std::to_string(file_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(file_fd, 0) != 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(file_fd, data + done, size - done, off_t(done));
        if (n <= 0) std::abort();
        done += std::size_t(n);
    }

    pcd_file::cloud_t cloud;
    cloud.push_back(pcl::PointXYZRGB());
    std::string error;
    if (!pcd_file::read(file_path, cloud, error)) {
        if (error.empty() || cloud.size() != 1) __builtin_trap(); // a reason, and the cloud untouched
        return 0;
    }
    if (cloud.size() > pcd_file::max_points || std::size_t(cloud.width) * cloud.height != cloud.size())
        __builtin_trap();
    return 0;
}
