#include "basescene.h"

namespace Base {

Scene::Scene(QObject *parent)
    : QGraphicsScene(parent)
{ }

void Scene::setResolution(double resolutionX, double resolutionY)
{
    m_dpiX = resolutionX;
    m_dpiY = resolutionY;
}

} // namespace Base
