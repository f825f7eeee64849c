#include "app/StatusPane.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace {
// The status images: 0 a red cross (invalid), 2 a green tick (valid); others stay empty.
QPixmap StatusImage(int index) {
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    if (index != 0 && index != 2)
        return pm;
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = index == 2 ? QColor(0, 160, 0) : QColor(200, 0, 0);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawEllipse(1, 1, 12, 12);
    p.setPen(QPen(Qt::white, 2));
    if (index == 2) {
        p.drawLine(4, 7, 6, 10);
        p.drawLine(6, 10, 10, 4);
    } else {
        p.drawLine(4, 4, 10, 10);
        p.drawLine(10, 4, 4, 10);
    }
    return pm;
}
} // namespace

TStatusPane::TStatusPane(const QString& name, int width, bool withImage, QWidget* parent) : QFrame(parent) {
    setObjectName(name);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 0, 3, 0);
    layout->setSpacing(4);
    if (withImage) {
        fImage = new QLabel(this);
        fImage->setFixedSize(14, 14);
        layout->addWidget(fImage);
    }
    fText = new QLabel(this);
    fText->setObjectName(name + QStringLiteral("Text"));
    layout->addWidget(fText, 1);
    if (width > 0)
        setFixedWidth(width);
    else {
        fElides = true;
        fText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        fText->installEventFilter(this);
    }
    setFixedHeight(20);
}

QString TStatusPane::Caption() const {
    return fCaption;
}

void TStatusPane::SetCaption(const QString& text) {
    if (text == fCaption)
        return;
    fCaption = text;
    ShowCaption();
}

bool TStatusPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fText && event->type() == QEvent::Resize)
        ShowCaption();
    return QFrame::eventFilter(watched, event);
}

void TStatusPane::ShowCaption() {
    if (!fElides) {
        fText->setText(fCaption);
        return;
    }
    const int room = fText->contentsRect().width();
    const QString shown =
        room > 0 ? fText->fontMetrics().elidedText(fCaption, Qt::ElideRight, room) : fCaption;
    fText->setText(shown);
    // Whole on hover when cut; otherwise the pane's own tooltip, if any, shows.
    fText->setToolTip(shown == fCaption ? QString() : fCaption);
}

void TStatusPane::SetImageIndex(int index) {
    fImageIndex = index;
    if (fImage)
        fImage->setPixmap(StatusImage(index));
}
