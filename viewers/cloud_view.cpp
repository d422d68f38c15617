#include "viewers/cloud_view.h"

#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkIdTypeArray.h>
#include <vtkLODActor.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>
#include <unordered_map>

namespace {

// The drawing of one cloud, built once and refilled in place: float points
// with one vertex cell each and their RGB colours as point scalars.
struct pipeline {
    vtkSmartPointer<vtkPolyData> data = vtkSmartPointer<vtkPolyData>::New();
    vtkSmartPointer<vtkPoints> points = vtkSmartPointer<vtkPoints>::New();
    vtkSmartPointer<vtkUnsignedCharArray> colours = vtkSmartPointer<vtkUnsignedCharArray>::New();
    vtkSmartPointer<vtkCellArray> verts = vtkSmartPointer<vtkCellArray>::New();
    vtkSmartPointer<vtkPolyDataMapper> mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    // The visualizer's cloud table holds LOD actors; this one's only level
    // is the full mapper, so it draws every point at any frame rate.
    vtkSmartPointer<vtkLODActor> actor = vtkSmartPointer<vtkLODActor>::New();
    vtkSmartPointer<vtkMatrix4x4> pose = vtkSmartPointer<vtkMatrix4x4>::New();

    pipeline() {
        points->SetDataTypeToFloat();
        colours->SetNumberOfComponents(3);
        colours->SetName("rgb");
        data->SetPoints(points);
        data->SetVerts(verts);
        data->GetPointData()->SetScalars(colours);
        mapper->SetInputData(data);
        mapper->SetScalarModeToUsePointData();
        mapper->ScalarVisibilityOn();
        mapper->InterpolateScalarsBeforeMappingOff();
        actor->SetMapper(mapper);
        actor->AddLODMapper(mapper);
        actor->GetProperty()->SetInterpolationToFlat();
        actor->SetUserMatrix(pose);
    }

    // One vertex cell per point, 0 .. n - 1.
    void set_cells(vtkIdType n) {
        vtkNew<vtkIdTypeArray> offsets, connectivity;
        offsets->SetNumberOfValues(n + 1);
        connectivity->SetNumberOfValues(n);
        vtkIdType* o = offsets->GetPointer(0);
        vtkIdType* c = connectivity->GetPointer(0);
        for (vtkIdType i = 0; i < n; ++i) o[i] = c[i] = i;
        o[n] = n;
        verts->SetData(offsets, connectivity);
    }
};

bool finite(const pcl::PointXYZRGB& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

} // namespace

struct cloud_view::parts {
    vtkSmartPointer<vtkRenderer> renderer = vtkSmartPointer<vtkRenderer>::New();
    vtkSmartPointer<vtkGenericOpenGLRenderWindow> window = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
    QVTKOpenGLNativeWidget* widget = nullptr;
    std::unordered_map<std::string, pipeline> clouds;
};

cloud_view::cloud_view(const std::string& name) : parts_(new parts) {
    parts_->window->AddRenderer(parts_->renderer);
    parts_->window->SetMultiSamples(0);
    visualizer_.reset(new pcl::visualization::PCLVisualizer(parts_->renderer, parts_->window, name, false));
    vtkObject::GlobalWarningDisplayOff();
}

cloud_view::~cloud_view() { visualizer_.reset(); }

vtkGenericOpenGLRenderWindow* cloud_view::window() const { return parts_->window.Get(); }

void cloud_view::attach(QVTKOpenGLNativeWidget* widget) {
    parts_->widget = widget;
    widget->setRenderWindow(parts_->window.Get());
    visualizer_->setupInteractor(widget->interactor(), widget->renderWindow());
    visualizer_->setShowFPS(false);
    visualizer_->initCameraParameters();
    visualizer_->setCameraPosition(-1, 0, 0, 0, 0, 0, 0, 0, 1, 0);
}

void cloud_view::show(const std::shared_ptr<cloud_t>& cloud, const std::string& id) {
    pipeline& p = parts_->clouds[id];

    // The actor stands in the visualizer's cloud table under `id`, so that
    // contains, the rendering properties and removePointCloud work on it; a
    // cloud removed there (or replaced by one of the visualizer's own) is
    // put back on the next show.
    pcl::visualization::CloudActorMap& table = *visualizer_->getCloudActorMap();
    const auto entry = table.find(id);
    if (entry == table.end() || entry->second.actor != p.actor) {
        if (entry != table.end()) visualizer_->removePointCloud(id);
        parts_->renderer->AddActor(p.actor);
        pcl::visualization::CloudActor& registered = table[id];
        registered.actor = p.actor;
        registered.viewpoint_transformation_ = p.pose;
    }
    pcl::visualization::PCLVisualizer::convertToVtkMatrix(cloud->sensor_origin_, cloud->sensor_orientation_, p.pose);

    // Points with a non-finite coordinate are left out, as the visualizer
    // leaves them out; a frame's pixels without a return lie at the origin
    // and are drawn there.
    const std::size_t size = cloud->size();
    const pcl::PointXYZRGB* in = cloud->points.data();
    vtkIdType n = 0;
    for (std::size_t i = 0; i < size; ++i) n += finite(in[i]) ? 1 : 0;

    if (n != p.points->GetNumberOfPoints() || p.verts->GetNumberOfCells() != n) {
        p.points->SetNumberOfPoints(n);
        p.colours->SetNumberOfTuples(n);
        p.set_cells(n);
    }
    float* xyz = vtkFloatArray::FastDownCast(p.points->GetData())->GetPointer(0);
    unsigned char* rgb = p.colours->GetPointer(0);
    for (std::size_t i = 0; i < size; ++i) {
        const pcl::PointXYZRGB& q = in[i];
        if (!finite(q)) continue;
        xyz[0] = q.x, xyz[1] = q.y, xyz[2] = q.z;
        rgb[0] = q.r, rgb[1] = q.g, rgb[2] = q.b;
        xyz += 3;
        rgb += 3;
    }
    p.points->GetData()->Modified();
    p.points->Modified();
    p.colours->Modified();
}

bool cloud_view::set_point_size(double size, const std::string& id) {
    const auto own = parts_->clouds.find(id);
    if (own == parts_->clouds.end())
        return visualizer_->setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, size, id);
    vtkProperty* property = own->second.actor->GetProperty();
    if (property->GetPointSize() == float(size)) return false;
    property->SetPointSize(float(size));
    return true;
}

void cloud_view::warm_up() {
    static const std::string id = "cloud_view_warm_up";
    auto one = std::make_shared<cloud_t>();
    pcl::PointXYZRGB point;
    point.x = point.y = point.z = 0.0f;
    point.r = point.g = point.b = 255;
    one->push_back(point);
    show(one, id);
    render();
    visualizer_->removePointCloud(id);
    parts_->clouds.erase(id);
    render();
}

void cloud_view::render() {
    // Rendering the window is enough: the widget's adapter schedules the
    // repaint that shows the new picture when a render ends.
    parts_->window->Render();
}
