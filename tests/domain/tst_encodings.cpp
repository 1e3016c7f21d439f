// The stored byte layouts of the entities and values, and round trips through them.
#include "storedbytes.h"

#include <domain/annotation.h>
#include <domain/backgroundmode.h>
#include <domain/document.h>
#include <domain/lastread.h>
#include <domain/marker.h>
#include <domain/metatypes.h>
#include <domain/resource.h>
#include <domain/siderbarstate.h>
#include <domain/tag.h>
#include <domain/textrects.h>
#include <domain/viewsetting.h>

#include <QMetaProperty>
#include <QtTest>

using namespace Nod::Domain;
using namespace StoredBytes;

namespace {

template <typename T> T decoded(const QByteArray &bytes, QDataStream::Status *status = nullptr)
{
    T value;
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_5_12);
    s >> value;
    if (status) {
        *status = s.status();
    }
    return value;
}

QStringList propertyNames(const QMetaObject &meta)
{
    QStringList names;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        names.append(QString::fromLatin1(meta.property(i).name()));
    }
    return names;
}

QList<QByteArray> viewSettingForms(int mode, double factor, int rotation, int margin)
{
    return recordForms({ pair(0, intVariant(mode)), pair(1, doubleVariant(factor)),
        pair(2, intVariant(rotation)), pair(3, intVariant(margin)) });
}

QByteArray sizesBytes(bool shrunk, const QVector<double> &sizes)
{
    QByteArray b = u8(shrunk ? 1 : 0) + u32(quint32(sizes.size()));
    for (const double size : sizes) {
        b += f64(size);
    }
    return b;
}

} // namespace

class EncodingsTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void entities_exposeTheirColumnsAsPropertiesInOrder_data();
    void entities_exposeTheirColumnsAsPropertiesInOrder();
    void metaTypes_areRegisteredUnderTheStoredNames();

    void annotation_positionAndChildrenRoundTripWhileEmptyCanvasAndMarkersStoreNothing();
    void annotation_documentNoteStoresUnitCanvasRecord();
    void annotation_markersStoreCountThenRecords();
    void annotation_encodedPropertiesRoundTripThroughTheGadget();
    void annotation_markerAccessorsIgnoreNullMarkersAndBadIndexes();
    void annotation_truncatedListsReadEmpty();

    void marker_readsPairsInAnyOrderAndDefaultsMissingKeys();
    void marker_roundTripsEveryShapeKind_data();
    void marker_roundTripsEveryShapeKind();
    void marker_nullNeverEqualsAndVariantShapesAreChecked();

    void viewSetting_recordBytesAndReorderedInput();
    void viewSetting_outOfRangeOrMissingValuesReadAsZero();
    void siderBarState_bytesAndFuzzyEquality();
    void textRects_bytesAndOperations();
    void backgroundMode_bytesAndSettingsRoundTrip();

    void lastRead_recordHoldsUserTypedValues();
    void lastRead_onlyPageKeyKeepsOtherDefaults();
    void document_emptyOrCorruptStateLoadsDefaultLastRead_data();
    void document_emptyOrCorruptStateLoadsDefaultLastRead();
    void document_localUrlKeepsRelativeAndAbsolutisesOthers();

    void tag_itemsRoundTripAndTruncationEmpties();

    void streamOperators_failureMarksStreamAndKeepsEarlierError();
};

void EncodingsTest::initTestCase()
{
    registerMetaTypes();
    registerMetaTypes(); // repeated calls are harmless
}

void EncodingsTest::entities_exposeTheirColumnsAsPropertiesInOrder_data()
{
    QTest::addColumn<QStringList>("actual");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Document") << propertyNames(Document::staticMetaObject)
                              << QStringList { "id", "hash", "localUrl", "title", "overview", "addedAt",
                                     "lastReadedAt", "hided", "siderBarState" };
    QTest::newRow("Annotation") << propertyNames(Annotation::staticMetaObject)
                                << QStringList { "id", "documentId", "pageIndex", "position", "canvas",
                                       "markers", "noteText", "createdAt", "parentId", "children",
                                       "isFolded" };
    QTest::newRow("Tag") << propertyNames(Tag::staticMetaObject)
                         << QStringList { "id", "parentId", "name", "items" };
    QTest::newRow("Resource") << propertyNames(Resource::staticMetaObject)
                              << QStringList { "id", "ownerId", "hash", "width", "height", "data" };
}

void EncodingsTest::entities_exposeTheirColumnsAsPropertiesInOrder()
{
    QFETCH(QStringList, actual);
    QFETCH(QStringList, expected);
    QCOMPARE(actual, expected);
}

void EncodingsTest::metaTypes_areRegisteredUnderTheStoredNames()
{
    for (const char *name : { "BackgroundMode", "Nod::Domain::BackgroundMode", "Nod::Domain::TextRects",
             "Nod::Domain::ViewSetting", "Nod::Domain::SiderBarState", "Nod::Domain::LastRead",
             "Nod::Domain::ViewSetting::ScaleMode", "Nod::Domain::ViewSetting::Rotation",
             "Nod::Domain::ViewSetting::MarginMode", "Nod::Domain::Marker::OutlineType",
             "Nod::Domain::Annotation", "Nod::Domain::Document", "Nod::Domain::Tag",
             "Nod::Domain::Resource" }) {
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
    }
    QCOMPARE(QMetaType::type("BackgroundMode"), qMetaTypeId<BackgroundMode>());
    // A QVariant names the type by its registered name in the stored bytes.
    QVERIFY(
        encoded(QVariant::fromValue(TextRects())).startsWith(userVariantHeader("Nod::Domain::TextRects")));
}

void EncodingsTest::annotation_positionAndChildrenRoundTripWhileEmptyCanvasAndMarkersStoreNothing()
{
    Annotation annotation(7, 3, 2, QPointF(1.5, -2), 1);
    QCOMPARE(annotation.positionData(), f64(1.5) + f64(-2));
    QCOMPARE(annotation.childrenData(), u32(0));
    QCOMPARE(annotation.canvasData(), QByteArray());
    QCOMPARE(annotation.markersData(), QByteArray());

    annotation.setChildren({ 9, -1, 4 });
    QCOMPARE(annotation.childrenData(), u32(3) + u32(9) + u32(quint32(-1)) + u32(4));

    Annotation loaded;
    loaded.setPositionData(QByteArray());
    QCOMPARE(loaded.position(), QPointF(0, 0));
    loaded.setPositionData(f64(3) + f64(4));
    QCOMPARE(loaded.position(), QPointF(3, 4));
    loaded.setChildrenData(u32(2) + u32(11) + u32(12));
    QCOMPARE(loaded.children(), QVector<int>({ 11, 12 }));
}

void EncodingsTest::annotation_documentNoteStoresUnitCanvasRecord()
{
    const Annotation note(5, 3, 0);
    QCOMPARE(note.pageIndex(), -1);
    QCOMPARE(note.parentId(), 0);
    QVERIFY(note.createdAt().isValid());
    const QList<QByteArray> forms
        = recordForms({ pair(1, variantHeader(20) + rectBytes(0, 0, 1, 1)), pair(2, intVariant(0)),
            pair(3, penVariant(QPen(Qt::NoPen))), pair(4, brushVariant(QBrush(Qt::NoBrush))) });
    QVERIFY(forms.contains(note.canvasData()));

    // Reading an empty canvas keeps the constructed one.
    Annotation loaded(5, 3, 0);
    loaded.setCanvasData(QByteArray());
    QCOMPARE(loaded.canvas(), note.canvas());
}

void EncodingsTest::annotation_markersStoreCountThenRecords()
{
    Annotation annotation(7, 3, 0, QPointF(), 1);
    const QPen pen(QColor(255, 0, 0), 2.5);
    const QBrush brush(QColor(0, 0, 255, 80));
    annotation.insertMarker(0, Marker(QLineF(0, 1, 2, 3), pen));
    const QByteArray bytes = annotation.markersData();
    QVERIFY(bytes.startsWith(u32(1)));
    const QList<QByteArray> forms = recordForms({ pair(1, variantHeader(24) + rectBytes(0, 1, 2, 3)),
        pair(2, intVariant(0)), pair(3, penVariant(pen)), pair(4, brushVariant(QBrush())) });
    QVERIFY(forms.contains(bytes.mid(4)));

    annotation.insertMarker(
        1, Marker(QPolygonF(QVector<QPointF> { QPointF(1, 1), QPointF(2, 5) }), Marker::Ellipse, pen, brush));
    Annotation loaded;
    loaded.setMarkersData(annotation.markersData());
    QCOMPARE(loaded.markers(), annotation.markers());
}

void EncodingsTest::annotation_encodedPropertiesRoundTripThroughTheGadget()
{
    Annotation source(7, 3, 4, QPointF(10.25, 20.5), 2);
    source.setCanvas(Marker(QRectF(1, 2, 30, 40)));
    source.insertMarker(0,
        Marker(TextRects({ QRectF(1, 2, 3, 4), QRectF(5, 6, 7, 8) }), Marker::WaveUnderline,
            QPen(Qt::darkGreen), QBrush(Qt::yellow)));
    source.setChildren({ 8, 9 });
    source.setNoteText(QStringLiteral("<p>note</p>"));
    source.setFolded(true);

    // The repository copies every property through the meta-object, as it does with a row.
    Annotation target;
    const QMetaObject &meta = Annotation::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        QVERIFY(property.writeOnGadget(&target, property.readOnGadget(&source)));
    }
    QCOMPARE(target.id(), 7);
    QCOMPARE(target.pageIndex(), 4);
    QCOMPARE(target.position(), source.position());
    QCOMPARE(target.canvas(), source.canvas());
    QCOMPARE(target.markers(), source.markers());
    QCOMPARE(target.children(), source.children());
    QCOMPARE(target.createdAt(), source.createdAt());
    QVERIFY(target.isFolded());
}

void EncodingsTest::annotation_markerAccessorsIgnoreNullMarkersAndBadIndexes()
{
    Annotation annotation(7, 3, 0, QPointF(), 1);
    const Marker line(QLineF(0, 0, 1, 1), QPen());
    const Marker rect(QRectF(0, 0, 2, 2));
    annotation.insertMarker(0, Marker());
    QCOMPARE(annotation.markerCount(), 0);
    annotation.insertMarker(5, line); // clamped to the end
    annotation.insertMarker(-3, rect); // clamped to the front
    QCOMPARE(annotation.markerCount(), 2);
    QCOMPARE(annotation.marker(0), rect);
    annotation.replaceMarker(0, Marker());
    annotation.replaceMarker(2, line);
    QCOMPARE(annotation.marker(0), rect);
    QVERIFY(annotation.marker(2).isNull());
    annotation.removeMarker(9);
    annotation.removeMarker(0);
    QCOMPARE(annotation.markers(), QVector<Marker>({ line }));

    annotation.setCanvas(rect);
    annotation.setCanvas(Marker());
    QCOMPARE(annotation.canvas(), rect);
}

void EncodingsTest::annotation_truncatedListsReadEmpty()
{
    Annotation annotation;
    annotation.setChildren({ 1 });
    annotation.setChildrenData(u32(3) + u32(1) + u32(2)); // one id short
    QVERIFY(annotation.children().isEmpty());

    annotation.insertMarker(0, Marker(QRectF(0, 0, 1, 1)));
    Annotation source;
    source.insertMarker(0, Marker(QRectF(0, 0, 1, 1)));
    source.insertMarker(1, Marker(QLineF(0, 0, 1, 1), QPen()));
    const QByteArray two = source.markersData();
    annotation.setMarkersData(two.left(two.size() - 1));
    QCOMPARE(annotation.markerCount(), 0);

    annotation.setPositionData(f64(1)); // half a point
    QCOMPARE(annotation.position(), QPointF());
}

void EncodingsTest::marker_readsPairsInAnyOrderAndDefaultsMissingKeys()
{
    const QPen pen(QColor(1, 2, 3), 4);
    const QBrush brush(QColor(9, 8, 7));
    QList<QByteArray> pairs { pair(1, variantHeader(20) + rectBytes(1, 2, 3, 4)), pair(2, intVariant(6)),
        pair(3, penVariant(pen)), pair(4, brushVariant(brush)) };
    const Marker expected(QVariant(QRectF(1, 2, 3, 4)), Marker::Ellipse, pen, brush);
    for (const QByteArray &bytes : recordForms(pairs)) {
        QCOMPARE(Marker::decode(bytes), expected);
    }

    const Marker onlyShape = Marker::decode(record({ pair(1, variantHeader(24) + rectBytes(0, 0, 5, 5)) }));
    QCOMPARE(onlyShape.shape(), QVariant(QLineF(0, 0, 5, 5)));
    QCOMPARE(onlyShape.outline(), Marker::NoLine);
    QCOMPARE(onlyShape.pen(), QPen());
    QCOMPARE(onlyShape.brush(), QBrush());

    // A value of the wrong kind reads as missing; an unknown outline as NoLine.
    const Marker wrongKinds = Marker::decode(record({ pair(1, variantHeader(20) + rectBytes(0, 0, 1, 1)),
        pair(2, intVariant(99)), pair(3, intVariant(1)), pair(4, penVariant(pen)) }));
    QCOMPARE(wrongKinds.outline(), Marker::NoLine);
    QCOMPARE(wrongKinds.pen(), QPen());
    QCOMPARE(wrongKinds.brush(), QBrush());

    QVERIFY(Marker::decode(record({ pair(2, intVariant(1)) })).isNull());
}

void EncodingsTest::marker_roundTripsEveryShapeKind_data()
{
    QTest::addColumn<Marker>("marker");
    QPen dashed(QBrush(Qt::red), 3.5, Qt::CustomDashLine, Qt::RoundCap, Qt::BevelJoin);
    dashed.setDashPattern({ 1, 2, 3, 4 });
    dashed.setCosmetic(true);
    QLinearGradient linear(0, 0, 10, 10);
    linear.setColorAt(0, Qt::red);
    linear.setColorAt(1, Qt::blue);
    QRadialGradient radial(QPointF(1, 2), 3, QPointF(1.5, 2));
    radial.setColorAt(0.5, Qt::green);
    QConicalGradient conical(QPointF(4, 4), 45);
    conical.setColorAt(0, Qt::black);
    QBrush transformed(Qt::Dense4Pattern);
    transformed.setTransform(QTransform::fromScale(2, 3));

    QTest::newRow("line") << Marker(QLineF(1, 2, 3, 4), QPen(Qt::blue, 2));
    QTest::newRow("polygon+dashes") << Marker(
        QPolygonF(QVector<QPointF> { QPointF(0, 0), QPointF(5, 0), QPointF(5, 5) }), Marker::AllEdges, dashed,
        QBrush(linear));
    QTest::newRow("textrects+radial") << Marker(TextRects({ QRectF(0, 0, 10, 2) }), Marker::DoubleStrikeout,
        QPen(QColor::fromHsv(120, 200, 100)), QBrush(radial));
    QTest::newRow("rect+conical") << Marker(
        QVariant(QRectF(2, 2, 8, 8)), Marker::Strikeout, QPen(Qt::NoPen), QBrush(conical));
    QTest::newRow("empty textrects+pattern") << Marker(TextRects(), Marker::Underline, QPen(), transformed);
}

void EncodingsTest::marker_roundTripsEveryShapeKind()
{
    QFETCH(Marker, marker);
    const Marker back = Marker::decode(marker.encode());
    QCOMPARE(back, marker);
    QCOMPARE(back.shape().userType(), marker.shape().userType());
    QCOMPARE(decoded<Marker>(encoded(marker)), marker);
}

void EncodingsTest::marker_nullNeverEqualsAndVariantShapesAreChecked()
{
    QVERIFY(Marker() != Marker());
    const Marker null;
    QVERIFY(!(null == null));
    QVERIFY(Marker(QVariant(42), Marker::NoLine, QPen(), QBrush()).isNull());
    // A shape that converts to a rectangle is kept as one.
    QCOMPARE(Marker(QVariant(QRect(1, 2, 3, 4)), Marker::NoLine, QPen(), QBrush()).shape(),
        QVariant(QRectF(1, 2, 3, 4)));
    QVERIFY(Marker(QRectF(0, 0, 1, 1)) != Marker(QLineF(0, 0, 1, 1), QPen(Qt::NoPen)));
    QCOMPARE(Marker(QRectF(0, 0, 1, 1)), Marker(QRectF(0, 0, 1, 1)));
    QVERIFY(Marker(TextRects({ QRectF(0, 0, 1, 1) }), Marker::NoLine, QPen(), QBrush())
        != Marker(TextRects({ QRectF(0, 0, 1, 2) }), Marker::NoLine, QPen(), QBrush()));
}

void EncodingsTest::viewSetting_recordBytesAndReorderedInput()
{
    const ViewSetting setting(
        ViewSetting::FitToPageWidth, 1.5, ViewSetting::Rotate90, ViewSetting::LeftMargin);
    QVERIFY(viewSettingForms(1, 1.5, 1, 2).contains(encoded(setting)));
    for (const QByteArray &bytes : viewSettingForms(1, 1.5, 1, 2)) {
        QCOMPARE(decoded<ViewSetting>(bytes), setting);
    }
    QCOMPARE(ViewSetting(),
        ViewSetting(ViewSetting::ScaleFactor, 1.0, ViewSetting::NoRotation, ViewSetting::RightMargin));
}

void EncodingsTest::viewSetting_outOfRangeOrMissingValuesReadAsZero()
{
    const ViewSetting setting = decoded<ViewSetting>(
        record({ pair(0, intVariant(17)), pair(2, intVariant(-1)), pair(3, intVariant(3)) }));
    QCOMPARE(setting.scaleMode(), ViewSetting::NoScale);
    QCOMPARE(setting.scaleFactor(), 0.0);
    QCOMPARE(setting.rotation(), ViewSetting::NoRotation);
    QCOMPARE(setting.marginMode(), ViewSetting::BothSideMargin);
}

void EncodingsTest::siderBarState_bytesAndFuzzyEquality()
{
    const SiderBarState state(false, { 0.25, 0.75 });
    QCOMPARE(encoded(state), sizesBytes(false, { 0.25, 0.75 }));
    QCOMPARE(decoded<SiderBarState>(sizesBytes(false, { 0.25, 0.75 })), state);
    QCOMPARE(SiderBarState(), SiderBarState(true, {}));
    QVERIFY(SiderBarState(true, { 0.3 }) == SiderBarState(true, { 0.3 + 1e-17 }));
    QVERIFY(SiderBarState(true, { 0.3 }) != SiderBarState(true, { 0.31 }));
    QVERIFY(SiderBarState(true, { 0.3 }) != SiderBarState(true, { 0.3, 0.3 }));
    QVERIFY(SiderBarState(true, { 0.0 }) != SiderBarState(true, { 1e-300 }));
}

void EncodingsTest::textRects_bytesAndOperations()
{
    const TextRects rects({ QRectF(1, 2, 3, 4), QRectF(10, 20, 5, 5) });
    QCOMPARE(encoded(rects), u32(2) + rectBytes(1, 2, 3, 4) + rectBytes(10, 20, 5, 5));
    QCOMPARE(decoded<TextRects>(encoded(rects)), rects);
    QCOMPARE(encoded(TextRects()), u32(0));

    const TextRects mapped = rects.mapped(QTransform::fromScale(2, 2).translate(1, 0));
    QCOMPARE(mapped.at(0), QRectF(4, 4, 6, 8));
    QVERIFY(rects.painterPath().contains(QPointF(2, 3)));
    QVERIFY(rects.painterPath().contains(QPointF(12, 22)));
    QVERIFY(!rects.painterPath().contains(QPointF(7, 7)));
}

void EncodingsTest::backgroundMode_bytesAndSettingsRoundTrip()
{
    const BackgroundMode mode(2, QColor(10, 20, 30));
    QCOMPARE(encoded(mode), u32(2) + qtBytes(QColor(10, 20, 30)));
    QCOMPARE(decoded<BackgroundMode>(encoded(mode)), mode);
    QCOMPARE(BackgroundMode(), BackgroundMode(0, Qt::white));

    // The settings store writes its QVariants with the Qt 4.0 format.
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_4_0);
        out << QVariant::fromValue(mode);
    }
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_4_0);
    QVariant back;
    in >> back;
    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(back.value<BackgroundMode>(), mode);
    QCOMPARE(back, QVariant::fromValue(mode));
}

void EncodingsTest::lastRead_recordHoldsUserTypedValues()
{
    const LastRead lastRead(12, QPointF(0.5, 8),
        ViewSetting(ViewSetting::ScaleFactor, 2.0, ViewSetting::NoRotation, ViewSetting::BothSideMargin),
        SiderBarState(false, { 0.2, 0.8 }));
    QList<QByteArray> settingForms;
    for (const QByteArray &form : viewSettingForms(3, 2.0, 0, 3)) {
        settingForms.append(pair(2, userVariantHeader("Nod::Domain::ViewSetting") + form));
    }
    const QList<QByteArray> forms
        = recordForms({ { pair(0, intVariant(12)) }, { pair(1, pointVariant(0.5, 8)) }, settingForms,
            { pair(3, userVariantHeader("Nod::Domain::SiderBarState") + sizesBytes(false, { 0.2, 0.8 })) } });
    QVERIFY(forms.contains(lastRead.encode()));

    // Any order reads back, including hand-made ones.
    QCOMPARE(LastRead::decode(forms.first()), lastRead);
    QCOMPARE(LastRead::decode(forms.last()), lastRead);
    QCOMPARE(decoded<LastRead>(forms.at(forms.size() / 2)), lastRead);
}

void EncodingsTest::lastRead_onlyPageKeyKeepsOtherDefaults()
{
    const LastRead lastRead = LastRead::decode(record({ pair(0, intVariant(41)) }));
    QCOMPARE(lastRead.pageIndex(), 41);
    QCOMPARE(lastRead.position(), QPointF());
    QCOMPARE(lastRead.viewSetting(), ViewSetting());
    QCOMPARE(lastRead.siderBarState(), SiderBarState());

    // Numbers stored as doubles are taken when they are ints in disguise, never when they are not numbers.
    QCOMPARE(LastRead::decode(record({ pair(0, doubleVariant(7.9)) })).pageIndex(), 7);
    QCOMPARE(LastRead::decode(record({ pair(0, doubleVariant(qQNaN())) })).pageIndex(), 0);
    QCOMPARE(LastRead::decode(record({ pair(0, doubleVariant(1e300)) })).pageIndex(), 0);
    QCOMPARE(Marker::decode(record({ pair(1, variantHeader(20) + rectBytes(0, 0, 1, 1)),
                                pair(2, doubleVariant(-qInf())) }))
                 .outline(),
        Marker::NoLine);

    // A value of another registered type under key 2 is not a view setting.
    const LastRead swapped = LastRead::decode(
        record({ pair(2, userVariantHeader("Nod::Domain::SiderBarState") + sizesBytes(false, {})) }));
    QCOMPARE(swapped.viewSetting(), ViewSetting());
}

void EncodingsTest::document_emptyOrCorruptStateLoadsDefaultLastRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("null") << QByteArray();
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("truncated")
        << LastRead(5, QPointF(1, 1), ViewSetting(), SiderBarState()).encode().left(40);
    QTest::newRow("unknown user type")
        << record({ pair(0, intVariant(3)), pair(2, userVariantHeader("Elsewhere::Thing") + u32(0)) });
    QTest::newRow("text") << QByteArray("not a record at all");
}

void EncodingsTest::document_emptyOrCorruptStateLoadsDefaultLastRead()
{
    QFETCH(QByteArray, bytes);
    Document document(1, QStringLiteral("Title"));
    document.setLastRead(LastRead(9, QPointF(2, 2), ViewSetting(), SiderBarState(false, { 1 })));
    QVERIFY(Document::staticMetaObject.property(Document::staticMetaObject.indexOfProperty("siderBarState"))
                .writeOnGadget(&document, bytes));
    const LastRead lastRead = document.lastRead();
    QCOMPARE(lastRead.pageIndex(), 0);
    QCOMPARE(lastRead.position(), QPointF(0, 0));
    QCOMPARE(lastRead.viewSetting(),
        ViewSetting(ViewSetting::ScaleFactor, 1.0, ViewSetting::NoRotation, ViewSetting::RightMargin));
    QCOMPARE(lastRead.siderBarState(), SiderBarState(true, {}));
}

void EncodingsTest::document_localUrlKeepsRelativeAndAbsolutisesOthers()
{
    Document document;
    document.setLocalUrl(QStringLiteral("books/a.pdf"));
    QCOMPARE(document.localUrl(), QStringLiteral("books/a.pdf"));
    document.setLocalUrl(QStringLiteral("/tmp/x/../books//a.pdf"));
    QCOMPARE(document.localUrl(), QStringLiteral("/tmp/books/a.pdf"));
}

void EncodingsTest::tag_itemsRoundTripAndTruncationEmpties()
{
    Tag tag(4, QStringLiteral("physics"), 0);
    QCOMPARE(tag.itemsData(), u32(0));
    tag.setItems({ 3, 1, 2 });
    const QByteArray bytes = tag.itemsData();
    QCOMPARE(bytes.size(), 16);
    QVERIFY(bytes.startsWith(u32(3)));
    Tag loaded;
    loaded.setItemsData(bytes);
    QCOMPARE(loaded.items(), tag.items());
    loaded.setItemsData(bytes.left(15));
    QVERIFY(loaded.items().isEmpty());
    loaded.setItemsData(QByteArray());
    QVERIFY(loaded.items().isEmpty());
}

void EncodingsTest::streamOperators_failureMarksStreamAndKeepsEarlierError()
{
    const QByteArray good = encoded(TextRects({ QRectF(1, 1, 1, 1) }));
    QDataStream::Status status = QDataStream::Ok;
    QCOMPARE(decoded<TextRects>(good, &status).size(), 1);
    QCOMPARE(status, QDataStream::Ok);

    // A failed read stops the reader around it; the value is the default.
    QCOMPARE(decoded<TextRects>(good.left(20), &status).size(), 0);
    QVERIFY(status != QDataStream::Ok);
    const ViewSetting setting = decoded<ViewSetting>(record({ pair(0, pointVariant(1, 2)) }), &status);
    QCOMPARE(setting, ViewSetting());
    QVERIFY(status != QDataStream::Ok);

    // A stream already in error keeps that error.
    QDataStream stream(good);
    stream.setStatus(QDataStream::ReadCorruptData);
    TextRects rects;
    stream >> rects;
    QCOMPARE(stream.status(), QDataStream::ReadCorruptData);

    // Two values in a row on one stream.
    QByteArray two = encoded(SiderBarState(false, { 0.5 })) + encoded(BackgroundMode(1, Qt::black));
    QDataStream both(two);
    both.setVersion(QDataStream::Qt_5_12);
    SiderBarState state;
    BackgroundMode mode;
    both >> state >> mode;
    QCOMPARE(both.status(), QDataStream::Ok);
    QCOMPARE(state, SiderBarState(false, { 0.5 }));
    QCOMPARE(mode, BackgroundMode(1, Qt::black));
}

QTEST_GUILESS_MAIN(EncodingsTest)
#include "tst_encodings.moc"
