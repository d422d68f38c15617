// The depth quality figures, the per-pixel maps and the acceptance check in
// Python: the plain code of the console and gx_verify (logic/depth_quality,
// logic/pixel_maps, logic/acceptance_check) over frames the package reads.
#include "python/py_acceptance.h"

#include "logic/acceptance_check.h"
#include "logic/depth_quality_text.h"
#include "python/py_frame.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>

namespace py = pybind11;
namespace dq = depth_quality;

namespace vezovad_py {

namespace {

dq::target target_of(const std::string& name) {
    dq::target t;
    if (!acceptance_check::parse_target(name, t)) throw py::value_error("target is 'wall' or 'sphere', not '" + name + "'");
    return t;
}

std::optional<dq::region> region_of(const py::object& region) {
    if (region.is_none()) return std::nullopt;
    const auto v = region.cast<std::vector<int>>();
    if (v.size() != 4 || v[2] < 1 || v[3] < 1) throw py::value_error("region is (x, y, width, height) with a width and height of 1 or more");
    return dq::region{v[0], v[1], v[2], v[3]};
}

py::object number(double v) { return std::isfinite(v) ? py::object(py::float_(v)) : py::object(py::none()); }

// The frames in a window over all of them: the region given, or the tool's
// default one of the first frame; ValueError for none, or a region that does
// not fit.
void fill(dq::window& w, const py::iterable& frames, const py::object& region, const std::string& target) {
    std::vector<py_frame*> list;
    std::vector<py::object> keep;
    for (py::handle h : frames) {
        keep.push_back(py::reinterpret_borrow<py::object>(h));
        list.push_back(&h.cast<py_frame&>());
    }
    if (list.empty()) throw py::value_error("no frames");
    const auto& first = list.front()->scene;
    const dq::region r = region_of(region).value_or(dq::default_region(int(first.cols), int(first.rows)));
    if (!dq::fits(r, int(first.cols), int(first.rows)))
        throw py::value_error("the region does not fit the frame of " + std::to_string(first.cols) + " x " + std::to_string(first.rows));
    w.set_target(target_of(target));
    w.set_region(r);
    w.set_frames(int(list.size()));
    std::size_t taken = 0;
    {
        py::gil_scoped_release unlocked;
        for (py_frame* f : list) taken += w.push(f->scene);
    }
    if (taken < list.size())
        throw py::value_error(std::to_string(list.size() - taken) + " of the frames carry no point per pixel or differ in size");
}

py::dict metrics_dict(const dq::metrics& m, const dq::region& r) {
    py::dict d;
    d["frames"] = m.frames;
    d["region"] = py::make_tuple(r.x, r.y, r.w, r.h);
    d["fill_rate_percent"] = number(m.fill_rate);
    d["outliers_percent"] = number(m.outliers);
    d["distance_mm"] = number(m.distance);
    d["plane_rms_mm"] = number(m.rms);
    d["plane_angle_deg"] = number(m.angle);
    d["temporal_noise_mm"] = number(m.temporal_noise);
    d["z_accuracy_mm"] = number(m.z_error);
    d["z_accuracy_percent"] = number(m.z_error_percent);
    d["channel_spread_mm"] = number(m.channel_spread);
    d["row_spread_mm"] = number(m.row_spread);
    d["column_error_mm"] = py::array_t<double>(py::ssize_t(m.column_error.size()), m.column_error.data());
    d["holds"] = m.verdict.holds();
    d["verdict"] = depth_quality_text::verdict(m);
    return d;
}

py::array_t<double> grid(const std::vector<double>& v, const dq::region& r) {
    py::array_t<double> a({py::ssize_t(r.h), py::ssize_t(r.w)});
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::array_t<int> pixel_list(const std::vector<pixel_maps::pixel>& list) {
    py::array_t<int> a({py::ssize_t(list.size()), py::ssize_t(2)});
    int* p = a.mutable_data();
    for (const auto& px : list) *p++ = px.row, *p++ = px.col;
    return a;
}

} // namespace

void bind_acceptance(py::module_& m) {
    m.def(
        "depth_quality",
        [](const py::iterable& frames, const py::object& region, const std::string& target, const py::object& ground_truth,
           const py::object& channels) {
            dq::window w;
            fill(w, frames, region, target);
            const double truth = ground_truth.is_none() ? 0.0 : ground_truth.cast<double>();
            const int groups = channels.is_none() ? 0 : channels.cast<int>();
            dq::metrics result;
            {
                py::gil_scoped_release unlocked;
                result = dq::measure(w, groups, truth);
            }
            return metrics_dict(result, w.roi());
        },
        py::arg("frames"), py::arg("region") = py::none(), py::arg("target") = "wall", py::arg("ground_truth") = py::none(),
        py::arg("channels") = py::none(),
        "The depth quality tool's figures and verdict over the frames (a list of Frames, or a Recording): a dict of\n"
        "the figures (None where not measured or where the verdict says they do not hold), 'holds' and 'verdict'.\n"
        "region: (x, y, width, height), default the central half; target: 'wall' or 'sphere'; ground_truth: the\n"
        "target's range in mm for the Z accuracy; channels: VCSEL channels for the channel spread.");
    m.def(
        "pixel_maps",
        [](const py::iterable& frames, const py::object& region, const std::string& target) {
            dq::window w;
            fill(w, frames, region, target);
            pixel_maps::maps maps;
            {
                py::gil_scoped_release unlocked;
                maps = pixel_maps::compute(w, dq::measure(w, 0, 0));
            }
            const dq::region& r = maps.roi;
            py::dict d;
            d["region"] = py::make_tuple(r.x, r.y, r.w, r.h);
            d["frames"] = maps.frames;
            d["valid_rate"] = grid(maps.valid_rate, r);
            d["mean_error"] = grid(maps.mean_error, r);
            d["sigma"] = grid(maps.sigma, r);
            d["median_sigma"] = number(maps.median_sigma);
            d["dead"] = pixel_list(maps.dead);
            d["noisy"] = pixel_list(maps.noisy);
            d["noisy_factor"] = pixel_maps::kNoisyFactor;
            return d;
        },
        py::arg("frames"), py::arg("region") = py::none(), py::arg("target") = "wall",
        "The per-pixel maps over the frames as float64 arrays (height, width) of the region: 'valid_rate' (%),\n"
        "'mean_error' (mm from the fitted surface, NaN without one), 'sigma' (temporal standard deviation, mm);\n"
        "'dead' and 'noisy' as (n, 2) arrays of frame rows and columns; 'median_sigma'.");
    m.def(
        "verify",
        [](const py::object& device, const std::string& local, const py::object& recording, const std::string& target, double range_mm,
           const py::object& region, int frames, const py::object& channels, const py::object& limits, const py::object& report,
           const py::object& json_path) {
            acceptance_check::options o;
            if (device.is_none() == recording.is_none()) throw py::value_error("give either device or recording");
            if (!device.is_none()) o.device = device.cast<std::string>();
            if (!recording.is_none()) o.recording = py::str(recording).cast<std::string>();
            o.local = local;
            o.target = target_of(target);
            o.range_mm = range_mm;
            o.roi = region_of(region);
            o.frames = frames;
            o.channels = channels.is_none() ? 0 : channels.cast<int>();
            if (const std::string wrong = acceptance_check::out_of_range(o); !wrong.empty()) throw py::value_error(wrong);
            const std::string path = limits.is_none() ? std::string() : py::str(limits).cast<std::string>();
            const acceptance_limits::chosen chosen = acceptance_limits::choose(path);
            if (!chosen.ok) throw py::value_error("the limits file " + path + " is refused: " + chosen.error);
            const std::string html = report.is_none() ? std::string() : py::str(report).cast<std::string>();
            const std::string js = json_path.is_none() ? std::string() : py::str(json_path).cast<std::string>();
            acceptance_check::result r;
            std::string error;
            bool written = true;
            {
                py::gil_scoped_release unlocked;
                r = acceptance_check::run(o, chosen.values, chosen.from, "vezovad", {});
                if (!html.empty()) written = acceptance::write(r.report, html, js, error);
                else if (!js.empty()) written = acceptance::write_json(r.report, js, error);
            }
            if (!written) throw py::value_error(error); // an OSError's words
            py::object data = py::module_::import("json").attr("loads")(acceptance::to_json(r.report));
            data["summary"] = acceptance_check::summary_line(r);
            data["exit_status"] = acceptance::exit_status(r.report.result);
            return data;
        },
        py::kw_only(), py::arg("device") = py::none(), py::arg("local") = "", py::arg("recording") = py::none(),
        py::arg("target") = "wall", py::arg("range_mm"), py::arg("region") = py::none(), py::arg("frames") = 30,
        py::arg("channels") = py::none(), py::arg("limits") = py::none(), py::arg("report") = py::none(), py::arg("json") = py::none(),
        "The acceptance check of gx_verify: a sensor (device='IP:PORT') or a recording, against the shipped limits or\n"
        "a limits file; writes the HTML report and its JSON when paths are given, and returns the report's data (the\n"
        "JSON as a dict) with 'summary' (gx_verify's line) and 'exit_status' (0 pass, 1 fail, 2 could not measure).");
}

} // namespace vezovad_py
