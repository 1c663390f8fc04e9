// The preview's sheet of paper: the page is drawn into a picture that the widget shows,
// so a covered and uncovered window shows it again without drawing it anew.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace kim {

class PaperWidget : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    // The picture, sized to the widget; cleared to the paper's colour when resized.
    QPixmap& picture();
    void clear();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap picture_;
};

} // namespace kim
