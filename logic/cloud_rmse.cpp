#include "logic/cloud_rmse.h"

#include <nanoflann.hpp>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

namespace cloud_rmse {

bool valid(const pcl::PointXYZRGB& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && !(p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
}

namespace {

// nanoflann's view of the valid ground-truth points, x y z packed.
struct packed_points {
    std::vector<float> xyz;
    std::size_t kdtree_get_point_count() const { return xyz.size() / 3; }
    float kdtree_get_pt(std::size_t i, std::size_t dim) const { return xyz[3 * i + dim]; }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};

using index_t = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, packed_points>, packed_points, 3,
                                                     std::uint32_t>;

// Below this many measured points the searches stay on the calling thread.
constexpr std::size_t kPointsPerThread = 8192;

} // namespace

struct ground_truth::tree {
    packed_points points;
    std::unique_ptr<index_t> index;
};

ground_truth::ground_truth() = default;
ground_truth::~ground_truth() = default;
ground_truth::ground_truth(ground_truth&&) noexcept = default;
ground_truth& ground_truth::operator=(ground_truth&&) noexcept = default;

ground_truth::ground_truth(const cloud_t& truth) : tree_(new tree) {
    tree_->points.xyz.reserve(3 * truth.size());
    for (const auto& p : truth.points)
        if (valid(p)) tree_->points.xyz.insert(tree_->points.xyz.end(), {p.x, p.y, p.z});
    if (tree_->points.xyz.empty()) return;
    tree_->index = std::make_unique<index_t>(3, tree_->points, nanoflann::KDTreeSingleIndexAdaptorParams(16));
}

std::size_t ground_truth::size() const { return tree_ ? tree_->points.kdtree_get_point_count() : 0; }

result ground_truth::compute(const cloud_t& measured) const {
    result out;
    if (size() == 0) return out;
    std::vector<const pcl::PointXYZRGB*> queries;
    queries.reserve(measured.size());
    for (const auto& p : measured.points)
        if (valid(p)) queries.push_back(&p);
    if (queries.empty()) return out;

    const index_t& index = *tree_->index;
    auto search = [&](std::size_t from, std::size_t to, double& sum) {
        double s = 0.0;
        for (std::size_t i = from; i < to; ++i) {
            const float q[3] = {queries[i]->x, queries[i]->y, queries[i]->z};
            std::uint32_t nearest = 0;
            float sq = 0.0f;
            nanoflann::KNNResultSet<float, std::uint32_t> found(1);
            found.init(&nearest, &sq);
            index.findNeighbors(found, q, nanoflann::SearchParams());
            s += double(sq);
        }
        sum = s;
    };
    // Equal slices summed in slice order: the figure does not depend on the
    // threads' timing.
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t slices = std::clamp<std::size_t>(queries.size() / kPointsPerThread, 1, cores);
    std::vector<double> sums(slices, 0.0);
    std::vector<std::thread> helpers;
    const std::size_t step = (queries.size() + slices - 1) / slices;
    for (std::size_t k = 1; k < slices; ++k)
        helpers.emplace_back(search, k * step, std::min(queries.size(), (k + 1) * step), std::ref(sums[k]));
    search(0, std::min(queries.size(), step), sums[0]);
    for (auto& t : helpers) t.join();
    double sum = 0.0;
    for (double s : sums) sum += s;

    out.ok = true;
    out.points = queries.size();
    out.rmse = std::sqrt(sum / double(out.points));
    return out;
}

result compute(const cloud_t& measured, const cloud_t& truth) { return ground_truth(truth).compute(measured); }

} // namespace cloud_rmse
