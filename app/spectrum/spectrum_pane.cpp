#include "spectrum_pane.h"

#include "file_commands.h"
#include "message_box.h"
#include "number_format.h"
#include "spectrum_view.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace kim {

SpectrumPane::SpectrumPane(QWidget* parent) : DockedPane(QStringLiteral("Spectrum"), parent) {
    setObjectName(QStringLiteral("dockSpectrum"));
    setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    QVBoxLayout* column = makeBody(QStringLiteral("lblSpectrumStale"));
    QWidget* body = column->parentWidget();
    auto* showAll = new QPushButton(QStringLiteral("Show All"), body);
    showAll->setObjectName(QStringLiteral("cmdSpectrumShowAll"));
    showAll->setToolTip(QStringLiteral(" Show the whole band of the study. "));
    auto* exportButton = new QPushButton(QStringLiteral("Export Image..."), body);
    exportButton->setObjectName(QStringLiteral("cmdSpectrumExport"));
    exportButton->setToolTip(QStringLiteral(" Save the picture as a PNG or SVG image. "));
    pointer_ = new QLabel(body);
    pointer_->setObjectName(QStringLiteral("lblSpectrumPointer"));
    auto* help =
        new QLabel(QStringLiteral("Wheel: zoom   Drag: pan   Double-click: show all"), body);
    help->setEnabled(false);
    view_ = new SpectrumView(body);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showAll);
    buttons->addWidget(exportButton);
    buttons->addSpacing(12);
    buttons->addWidget(help);
    buttons->addStretch(1);
    buttons->addWidget(pointer_);
    column->addLayout(buttons);
    column->addWidget(view_, 1);

    connect(showAll, &QPushButton::clicked, view_, &SpectrumView::showAll);
    connect(exportButton, &QPushButton::clicked, this, &SpectrumPane::exportImage);
    connect(view_, &SpectrumView::pointerFrequency, this, [this](double mhz) {
        pointer_->setText(std::isnan(mhz)
                              ? QString()
                              : QString::fromStdString(formatNumber(mhz, pattern::Frequency)) +
                                    QStringLiteral(" MHz"));
    });
    // The picture's own menu offers the same.
    auto* exportAction = new QAction(QStringLiteral("Export Image..."), view_);
    auto* showAllAction = new QAction(QStringLiteral("Show All"), view_);
    connect(exportAction, &QAction::triggered, this, &SpectrumPane::exportImage);
    connect(showAllAction, &QAction::triggered, view_, &SpectrumView::showAll);
    view_->addActions({showAllAction, exportAction});
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

SpectrumPane* SpectrumPane::addTo(QMainWindow* window) {
    auto* pane = new SpectrumPane(window);
    pane->dockClosed(window, QStringLiteral("&Spectrum"), QStringLiteral("mnu_View_Spectrum"));
    return pane;
}

void SpectrumPane::setResult(std::shared_ptr<const StudyResult> result) {
    view_->setResult(std::move(result));
}

void SpectrumPane::setChannels(std::vector<ShadedChannel> channels, double rasterKHz) {
    view_->setChannels(std::move(channels), rasterKHz);
}

void SpectrumPane::setCoordination(CoordinationMarks marks) {
    view_->setCoordination(std::move(marks));
}

void SpectrumPane::exportImage() {
    FileDialogRequest r;
    r.save = true;
    r.title = QStringLiteral("Export Image");
    r.fileName = QStringLiteral("spectrum.png");
    r.filter = QStringLiteral("PNG Image (*.png);;SVG Image (*.svg)");
    r.defaultSuffix = QStringLiteral("png");
    const QString path = askForFileName(this, r);
    if (path.isEmpty()) return;
    // Written once the products in view are counted, so that the file shows them.
    view_->whenCounted([this, path] {
        QString error;
        if (!view_->exportImage(path, &error))
            showMessage(this, QStringLiteral("Error!"), error, MessageIcon::Error);
    });
}

} // namespace kim
