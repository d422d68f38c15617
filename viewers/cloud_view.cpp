#include "viewers/cloud_view.h"

#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkObject.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

struct cloud_view::parts {
    vtkSmartPointer<vtkRenderer> renderer = vtkSmartPointer<vtkRenderer>::New();
    vtkSmartPointer<vtkGenericOpenGLRenderWindow> window = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
    QVTKOpenGLNativeWidget* widget = nullptr;
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
    const pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> colours(cloud);
    if (!visualizer_->updatePointCloud<pcl::PointXYZRGB>(cloud, colours, id))
        visualizer_->addPointCloud<pcl::PointXYZRGB>(cloud, colours, id, 0);
}

void cloud_view::set_point_size(double size, const std::string& id) {
    visualizer_->setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, size, id);
}

void cloud_view::render() {
    if (parts_->widget != nullptr) parts_->widget->update();
    parts_->window->Render();
}
