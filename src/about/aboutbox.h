#pragma once

#include "platform/verhelpers.h"

#include <QDialog>
#include <QPoint>

#include <memory>

class QLabel;
class QPushButton;
class QWidget;

// The maker's home page shown as the About box's link. The address is the link's own
// caption, so it must stay short enough for the 124-pixel label.
inline constexpr char HomePageAddress[] = "https://www.holbrin.example/";

// The product's About box: name and version, legal notice, comments, home page and build
// number, all but the link taken from the program's version data. Created once and shown
// modally as often as asked; the version data is read at the first show and kept.
class THbAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit THbAboutBox(QWidget* parent = nullptr);
    ~THbAboutBox() override;

    // The product line as built at the last show ("Pondrel 2.0").
    QString ProductLine() const;
    // The version block read at the first show; nullptr before it or when there is none.
    const TVersionBlock* VersionBlock() const { return FVersionBlock.get(); }
    // Stands in for the operating system's own About dialog: Qt version, system,
    // kernel and CPU architecture.
    static QString SystemInformationText();

    QLabel* ImageAppIcon = nullptr;
    QLabel* LabelProductName = nullptr;
    QLabel* LabelLegalCopyright = nullptr;
    QLabel* LabelComments = nullptr;
    QLabel* URLLabelHomePage = nullptr;
    QWidget* Panel1 = nullptr; // the white panel
    QWidget* Panel2 = nullptr; // the bottom panel the box is dragged by
    QLabel* LabelFileVersion = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void ImageAppIconClick();
    void URLLabelHomePageClick(const QString& link);
    bool LabelAboutMouseDown(const QPoint& globalPos);

    std::unique_ptr<TVersionBlock> FVersionBlock;
    bool FVersionBlockRead = false;
    // Manual drag, for platforms that cannot move a window themselves.
    bool FDragging = false;
    QPoint FDragOffset;
};
