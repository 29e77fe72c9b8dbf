#include "WindowFit.h"

#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QWindow>
#include <QWizardPage>

#include <algorithm>

namespace {

// What the Mac style reserves for its picture on the left.
const int kPictureColumnWidth = 181;
const int kPictureColumnStep = 10;

// Lives as the wizard's child. Finds the wizard's inner layout (the Mac style
// lays a grid over the whole window: the picture column, the page frame, a
// margin column, the button row), puts the page frame into a scroll area in
// its place, and sizes the window.
class WindowFit : public QObject {
public:
    WindowFit(QWizard& wizard, QSize designedSize)
        : QObject(&wizard)
        , m_wizard(wizard)
        , m_designedSize(designedSize)
        , m_scroll(new QScrollArea(&wizard))
    {
        // Owned by the window's widgets: once in the grid, by the wizard's
        // inner widget, holding the page frame.
        m_scroll->hide();
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setWidgetResizable(true);
        m_scroll->setFocusPolicy(Qt::NoFocus); // Tab goes through the page's widgets only
        m_scroll->viewport()->setAutoFillBackground(false);
        m_scroll->setAutoFillBackground(false);
        wizard.installEventFilter(this);
    }

    void fit()
    {
        QWizardPage* shown = m_wizard.currentPage();
        QWidget* frame = shown ? shown->parentWidget() : nullptr;
        QWidget* inner = frame ? frame->parentWidget() : nullptr;
        if (inner == m_scroll->viewport())
            inner = m_scroll->parentWidget();
        auto* grid = inner ? qobject_cast<QGridLayout*>(inner->layout()) : nullptr;
        if (!grid || !frame->layout())
            return;
        // The wizard puts the frame back into its grid whenever it lays
        // itself out anew; then it goes into the scroll area again.
        if (frame->parentWidget() == inner) {
            delete grid->replaceWidget(frame, m_scroll);
            m_scroll->takeWidget();
            m_scroll->setWidget(frame);
            m_scroll->show();
        }

        // The room around the page for the window's size now, with the
        // picture column at its full width: the grid laid out now, as before
        // the window first shows it has not been.
        grid->setColumnMinimumWidth(0, kPictureColumnWidth);
        grid->setGeometry(QRect(QPoint(), m_wizard.size()));
        const QMargins frameMargins = frame->contentsMargins() + frame->layout()->contentsMargins();
        const QSize around = m_wizard.size() - m_scroll->size()
            + QSize(frameMargins.left() + frameMargins.right(), frameMargins.top() + frameMargins.bottom());

        const QSize most = largestSize();
        int width = m_designedSize.width();
        for (int id : m_wizard.pageIds())
            width = std::max(width, around.width() + m_wizard.page(id)->minimumSizeHint().width());
        width = std::max(width, buttonRowWidth(*grid));
        int column = kPictureColumnWidth;
        if (width > most.width()) {
            column = std::max(0, column - (width - most.width()));
            width = most.width();
        }
        int needed = heightAt(width - around.width() + (kPictureColumnWidth - column), around.height());
        while (needed > most.height() && column > 0) {
            column = std::max(0, column - kPictureColumnStep);
            needed = heightAt(width - around.width() + (kPictureColumnWidth - column), around.height());
        }
        int height = std::max(m_designedSize.height(), needed);
        height = std::min(height, most.height());

        grid->setColumnMinimumWidth(0, column);
        m_pictureColumn = column;
        if (m_wizard.size() != QSize(width, height))
            m_wizard.setFixedSize(width, height);
        grid->setGeometry(QRect(QPoint(), m_wizard.size()));
        keepOnScreen();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Paint:
            paintPicture();
            return true; // the wizard's own drawing would float the picture
        case QEvent::Move:
        case QEvent::Show:
            // The window manager's frame is known only once it has taken
            // the window in; fit again when it is or when it changes.
            if (m_wizard.windowHandle() && m_wizard.windowHandle()->frameMargins() != m_fittedFrame)
                fit();
            return false;
        default:
            return false;
        }
    }

private:
    QScreen* screen() const
    {
        QWindow* window = m_wizard.windowHandle();
        return window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    }

    // The screen's available area less the window manager's frame.
    QSize largestSize()
    {
        m_fittedFrame = m_wizard.windowHandle() ? m_wizard.windowHandle()->frameMargins() : QMargins();
        QScreen* where = screen();
        if (!where)
            return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        return where->availableGeometry().size()
            - QSize(m_fittedFrame.left() + m_fittedFrame.right(), m_fittedFrame.top() + m_fittedFrame.bottom());
    }

    // The tallest page at the page width given, with the room around it.
    int heightAt(int pageWidth, int aroundHeight) const
    {
        int height = 0;
        for (int id : m_wizard.pageIds()) {
            const QWizardPage* page = m_wizard.page(id);
            const int needed = std::max(page->heightForWidth(pageWidth), page->minimumSizeHint().height());
            height = std::max(height, aroundHeight + needed);
        }
        return height;
    }

    static int buttonRowWidth(QGridLayout& grid)
    {
        int width = 0;
        for (int i = 0; i < grid.count(); ++i) {
            if (QLayout* row = grid.itemAt(i)->layout())
                width = std::max(width, row->minimumSize().width());
        }
        return width;
    }

    // A window larger than the screen was placed before it was fitted: it
    // is moved back inside the available area.
    void keepOnScreen()
    {
        QScreen* where = screen();
        if (!m_wizard.isVisible() || !where)
            return;
        const QRect area = where->availableGeometry();
        const QRect framed = m_wizard.frameGeometry();
        if (area.contains(framed))
            return;
        const int x = std::clamp(framed.x(), area.left(), std::max(area.left(), area.right() + 1 - framed.width()));
        const int y = std::clamp(framed.y(), area.top(), std::max(area.top(), area.bottom() + 1 - framed.height()));
        m_wizard.move(x, y);
    }

    // The picture fills its column from top to bottom, scaled evenly and cut
    // at the right, where it fades into the page anyway; its ripples rise
    // from the lower left, which stays in view.
    void paintPicture()
    {
        const QPixmap picture = m_wizard.currentPage() ? m_wizard.currentPage()->pixmap(QWizard::BackgroundPixmap)
                                                       : m_wizard.pixmap(QWizard::BackgroundPixmap);
        if (picture.isNull() || m_pictureColumn <= 0)
            return;
        const QSizeF size
            = QSizeF(picture.size()).scaled(QSizeF(m_pictureColumn, m_wizard.height()), Qt::KeepAspectRatioByExpanding);
        QPainter painter(&m_wizard);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setClipRect(QRect(0, 0, m_pictureColumn, m_wizard.height()));
        painter.drawPixmap(
            QRectF(QPointF(0, m_wizard.height() - size.height()), size), picture, QRectF(picture.rect()));
    }

    QWizard& m_wizard;
    QSize m_designedSize;
    QScrollArea* m_scroll;
    int m_pictureColumn = kPictureColumnWidth;
    QMargins m_fittedFrame;
};

} // namespace

void fitWindowToPagesAndScreen(QWizard& wizard, QSize designedSize)
{
    auto* fit = new WindowFit(wizard, designedSize);
    QObject::connect(&wizard, &QWizard::currentIdChanged, fit, [fit] { fit->fit(); });
}
