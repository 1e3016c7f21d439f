#include "metatypes.h"

#include "annotation.h"
#include "backgroundmode.h"
#include "document.h"
#include "identity.h"
#include "lastread.h"
#include "marker.h"
#include "resource.h"
#include "siderbarstate.h"
#include "tag.h"
#include "textrects.h"
#include "viewsetting.h"

#include <QMetaType>

namespace Nod::Domain {

namespace {

void registerAll()
{
    // The registered names are part of the stored data.
    qRegisterMetaType<BackgroundMode>("BackgroundMode");
    qRegisterMetaTypeStreamOperators<BackgroundMode>("BackgroundMode");
    qRegisterMetaTypeStreamOperators<TextRects>("Nod::Domain::TextRects");
    qRegisterMetaTypeStreamOperators<ViewSetting>("Nod::Domain::ViewSetting");
    qRegisterMetaTypeStreamOperators<SiderBarState>("Nod::Domain::SiderBarState");
    qRegisterMetaTypeStreamOperators<LastRead>("Nod::Domain::LastRead");

    // Without these, QVariants of the values would compare by address.
    QMetaType::registerEqualsComparator<BackgroundMode>();
    QMetaType::registerEqualsComparator<TextRects>();
    QMetaType::registerEqualsComparator<ViewSetting>();
    QMetaType::registerEqualsComparator<SiderBarState>();
    QMetaType::registerEqualsComparator<LastRead>();

    qRegisterMetaType<ViewSetting::ScaleMode>();
    qRegisterMetaType<ViewSetting::Rotation>();
    qRegisterMetaType<ViewSetting::MarginMode>();
    qRegisterMetaType<ViewSetting::LayoutMode>();
    qRegisterMetaType<Marker::OutlineType>();

    qRegisterMetaType<Marker>();
    qRegisterMetaType<Document>();
    qRegisterMetaType<Annotation>();
    qRegisterMetaType<Tag>();
    qRegisterMetaType<Resource>();
    qRegisterMetaType<Identity>("Domain::Identity");
    qRegisterMetaType<Annotation>("Annotation");
    qRegisterMetaType<Document>("Document");
    qRegisterMetaType<Tag>("Tag");
    qRegisterMetaType<Resource>("Domain::Resource");
}

} // namespace

void registerMetaTypes()
{
    static const bool registered = [] {
        registerAll();
        return true;
    }();
    Q_UNUSED(registered)
}

} // namespace Nod::Domain
