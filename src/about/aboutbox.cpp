#include "about/aboutbox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSysInfo>
#include <QUrl>
#include <QWindow>
#include <QtGlobal>

namespace {

constexpr int ClientWidth = 372;
constexpr int ClientHeight = 216;
constexpr int BottomPanelHeight = 49;

QLabel* MakeLabel(QWidget* parent, int top, int width, int height)
{
    auto* label = new QLabel(parent);
    label->setGeometry(0, top, width, height);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

} // namespace

THbAboutBox::THbAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("HbAboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(ClientWidth, ClientHeight);
    setFont(QFont(QStringLiteral("Tahoma"), 8));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, ClientWidth, ClientHeight - BottomPanelHeight);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(white);

    ImageAppIcon = new QLabel(Panel1);
    ImageAppIcon->setObjectName(QStringLiteral("ImageAppIcon"));
    ImageAppIcon->setGeometry(16, 14, 32, 32);
    ImageAppIcon->setCursor(Qt::PointingHandCursor);
    ImageAppIcon->setToolTip(QStringLiteral("System information"));
    ImageAppIcon->installEventFilter(this);

    LabelProductName = MakeLabel(Panel1, 16, 258, 29);
    LabelProductName->setObjectName(QStringLiteral("LabelProductName"));
    QFont productFont(QStringLiteral("Verdana"));
    productFont.setPixelSize(21);
    productFont.setBold(true);
    LabelProductName->setFont(productFont);
    LabelProductName->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    const int lineHeight = fontMetrics().height() + 2;
    LabelLegalCopyright = MakeLabel(Panel1, 64, 329, lineHeight);
    LabelLegalCopyright->setObjectName(QStringLiteral("LabelLegalCopyright"));
    LabelComments = MakeLabel(Panel1, 88, 329, lineHeight);
    LabelComments->setObjectName(QStringLiteral("LabelComments"));

    URLLabelHomePage = MakeLabel(Panel1, 112, 124, lineHeight);
    URLLabelHomePage->setObjectName(QStringLiteral("URLLabelHomePage"));
    const QString address = QString::fromLatin1(HomePageAddress);
    URLLabelHomePage->setText(
        QStringLiteral("<a href=\"%1\" style=\"color:#000080; text-decoration:underline\">%1</a>")
            .arg(address.toHtmlEscaped()));
    URLLabelHomePage->setTextFormat(Qt::RichText);
    URLLabelHomePage->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    URLLabelHomePage->setOpenExternalLinks(false);
    URLLabelHomePage->setCursor(Qt::PointingHandCursor);
    connect(URLLabelHomePage, &QLabel::linkActivated, this, &THbAboutBox::URLLabelHomePageClick);
    // Where Tahoma is substituted by a wider font the address would be cut off; widen the
    // label rather than hide part of the link (it stays centred).
    URLLabelHomePage->resize(qMax(124, URLLabelHomePage->sizeHint().width()), lineHeight);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, ClientHeight - BottomPanelHeight, ClientWidth, BottomPanelHeight);
    Panel2->installEventFilter(this);

    LabelFileVersion = new QLabel(Panel2);
    LabelFileVersion->setObjectName(QStringLiteral("LabelFileVersion"));
    LabelFileVersion->move(16, 19);
    // Lets a drag that starts on the build line still reach the panel.
    LabelFileVersion->setAttribute(Qt::WA_TransparentForMouseEvents);

    OKButton = new QPushButton(QStringLiteral("OK"), Panel2);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(283, 13, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

THbAboutBox::~THbAboutBox() = default;

QString THbAboutBox::SystemInformationText()
{
    return QStringLiteral("Qt %1\n%2\nKernel: %3 %4\nCPU architecture: %5")
        .arg(QString::fromLatin1(qVersion()), QSysInfo::prettyProductName(),
             QSysInfo::kernelType(), QSysInfo::kernelVersion(),
             QSysInfo::currentCpuArchitecture());
}

void THbAboutBox::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

QString THbAboutBox::ProductLine() const
{
    return LabelProductName->text();
}

void THbAboutBox::FormShow()
{
    if (!FVersionBlockRead) {
        FVersionBlock = GetVersionBlock();
        FVersionBlockRead = true;
    }
    const TVersionBlock* block = FVersionBlock.get();

    QIcon icon = windowIcon();
    if (icon.isNull())
        icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    ImageAppIcon->setPixmap(icon.pixmap(32, 32));

    LabelProductName->setText(QueryVersionString(block, QStringLiteral("ProductName"))
                              + QLatin1Char(' ')
                              + QueryVersionString(block, QStringLiteral("ProductVersion")));
    LabelLegalCopyright->setText(QueryVersionString(block, QStringLiteral("LegalCopyright")));
    LabelComments->setText(QueryVersionString(block, QStringLiteral("Comments")));

    for (QLabel* label : {LabelProductName, LabelLegalCopyright, LabelComments, URLLabelHomePage})
        label->move((Panel1->width() - label->width()) / 2, label->y());

    LabelFileVersion->setText(QStringLiteral("Build %1")
                                  .arg(QueryVersionString(block, QStringLiteral("FileVersion"))));
    LabelFileVersion->adjustSize();
    LabelFileVersion->move(ImageAppIcon->x(), LabelFileVersion->y());

    // Centred on the monitor of the window that owns the box.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

void THbAboutBox::ImageAppIconClick()
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("System Information"),
                    SystemInformationText(), QMessageBox::Ok, this);
    if (!ImageAppIcon->pixmap().isNull())
        box.setIconPixmap(ImageAppIcon->pixmap());
    box.exec();
}

void THbAboutBox::URLLabelHomePageClick(const QString& link)
{
    // No browser is not worth a message; the result is ignored on purpose.
    (void)QDesktopServices::openUrl(QUrl(link));
}

bool THbAboutBox::LabelAboutMouseDown(const QPoint& globalPos)
{
    // Let the window manager move the box where it can; otherwise follow the mouse here.
    if (QWindow* window = windowHandle(); window && window->startSystemMove())
        return true;
    FDragging = true;
    FDragOffset = globalPos - pos();
    return true;
}

bool THbAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImageAppIcon && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && ImageAppIcon->rect().contains(mouse->position().toPoint())) {
            ImageAppIconClick();
            return true;
        }
    } else if (watched == Panel2) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton)
                return LabelAboutMouseDown(mouse->globalPosition().toPoint());
            break;
        }
        case QEvent::MouseMove:
            if (FDragging) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                move(mouse->globalPosition().toPoint() - FDragOffset);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (FDragging) {
                FDragging = false;
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
