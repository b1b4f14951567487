#include "wizard/fmMain.h"

#include "core/Application.h"
#include "support/ListUtils.h"
#include "wizard/ImageAnimator.h"
#include "wizard/LedProgressBar.h"
#include "wizard/MakerSite.h"
#include "wizard/Pictures.h"
#include "wizard/ShellExec.h"
#include "wizard/SocialBrowser.h"
#include "wizard/WizardStyle.h"
#include "wizard/WizardTexts.h"
#include "wizard/dmMainUI.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qrt {

namespace {

constexpr int kPictureWidth = 160;

const char* kStyleSheet = R"(
QDialog#formMain { background: #ffffff; }
QWidget#pnlBottom { background: #f0f2f5; border-top: 1px solid #d5dae0; }
QLabel[role="heading"] { color: #1f3a5a; font-weight: bold; font-size: 17px; }
QLabel[role="subheading"] { color: #1f3a5a; font-weight: bold; }
QLabel[role="text"] { color: #2b333b; }
QLabel[role="muted"] { color: #5f6b78; }
QLabel[role="contact"] { color: #1f3a5a; background: #eef4fb; border: 1px solid #d9e8f6;
                         border-radius: 4px; padding: 6px 8px; }
QLabel[role="caution"] { color: #5a3d0c; background: #fff6e5; border: 1px solid #f3d9a6;
                         border-left: 4px solid #e08a1e; border-radius: 3px; padding: 7px 9px; }
QLabel[role="denied"] { color: #6b1f1f; background: #fdeeee; border: 1px solid #f1c7c7;
                        border-left: 4px solid #c23b3b; border-radius: 3px; padding: 6px 8px; }
QPushButton { min-height: 23px; padding: 0 8px; }
QLineEdit { padding: 2px 4px; border: 1px solid #b9c3ce; border-radius: 3px; background: #ffffff; }
QLineEdit:read-only { background: #f6f8fa; color: #2b333b; }
QTreeWidget { border: 1px solid #b9c3ce; border-radius: 3px; }
QTreeWidget::item { height: 20px; }
QTreeWidget::item:selected { background: #1e6fb8; color: #ffffff; }
QTreeWidget::branch:selected { background: #1e6fb8; }
QPlainTextEdit#lblFinishText { border: none; background: transparent; color: #2b333b; }
)";

QLabel* MakeLabel(const QString& aText, const char* aRole, QWidget* aParent, bool aWrap = true) {
    auto* label = new QLabel(aText, aParent);
    label->setProperty("role", aRole);
    label->setWordWrap(aWrap);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* MakePicture(const QPixmap& aPixmap, QWidget* aParent) {
    auto* label = new QLabel(aParent);
    label->setPixmap(aPixmap);
    label->setFixedSize(aPixmap.size());
    label->setAlignment(Qt::AlignCenter);
    return label;
}

template <typename T> T* Named(T* aWidget, const char* aName) {
    aWidget->setObjectName(aName);
    return aWidget;
}

} // namespace

TformMain::TformMain(TdmodMainUI& aModule, QWidget* aParent) : QDialog(aParent), fModule(aModule) {
    // FormCreate: the window itself.
    setObjectName("formMain");
    setWindowTitle(QString::fromStdString(Application().Title));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);
    QFont font(style::FontFamily);
    font.setPixelSize(style::FontPixelSize);
    setFont(font);
    setStyleSheet(kStyleSheet);
    setAutoFillBackground(true);

    pgctlWizard = Named(new QStackedWidget(this), "pgctlWizard");
    pgctlWizard->setGeometry(0, 0, ClientWidth, ClientHeight - BottomPanelHeight);
    pgctlWizard->addWidget(tabshIntro = BuildIntroPage());
    pgctlWizard->addWidget(tabshSelectDrive = BuildDrivePage());
    pgctlWizard->addWidget(tabshSelectFolder = BuildFolderPage());
    pgctlWizard->addWidget(tabshRecoveryProgress = BuildProgressPage());
    pgctlWizard->addWidget(tabshFinished = BuildFinishPage());
    pgctlWizard->setCurrentWidget(tabshIntro);

    BuildBottomPanel();

    timerUpdateUI = Named(new QTimer(this), "timerUpdateUI");
    timerUpdateUI->setInterval(UpdateInterval);
    connect(timerUpdateUI, &QTimer::timeout, this, &TformMain::timerUpdateUITimer);
    timerUpdateUI->start();

    fModule.SetMainForm(this);
    fModule.Engine().SetView(this);
}

TformMain::~TformMain() {
    // FormDestroy: the list only; the devices belong to the disk repository.
    delete fDiskList;
    fDiskList = nullptr;
    if (fModule.Engine().GetView() == this) fModule.Engine().SetView(nullptr);
    if (fModule.MainForm() == this) fModule.SetMainForm(nullptr);
}

QWidget* TformMain::BuildIntroPage() {
    auto* page = Named(new QWidget, "tabshIntro");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(18, 22, 22, 12);
    row->setSpacing(18);
    auto* picture = MakePicture(IntroPicture(QSize(kPictureWidth + 10, 220)), page);
    row->addWidget(picture, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    column->addWidget(Named(MakeLabel(texts::IntroHeading, "heading", page), "lblIntroHeading"));
    column->addWidget(MakeLabel(texts::IntroText1, "text", page));
    column->addWidget(MakeLabel(texts::IntroText2, "text", page));
    column->addWidget(MakeLabel(texts::IntroText3, "text", page));
    auto* contact =
        MakeLabel(QString("Telephone:  %1\nE-mail:  %2")
                      .arg(QString::fromStdString(MakerPhone()), QString::fromStdString(MakerEmail())),
                  "contact", page);
    contact->setObjectName("lblIntroContact");
    contact->setTextInteractionFlags(Qt::TextSelectableByMouse);
    contact->setFocusPolicy(Qt::NoFocus);
    column->addWidget(contact);
    column->addStretch(1);
    row->addLayout(column, 1);
    return page;
}

QWidget* TformMain::BuildDrivePage() {
    auto* page = Named(new QWidget, "tabshSelectDrive");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(18, 18, 18, 12);
    row->setSpacing(16);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    auto* header = new QHBoxLayout;
    header->addWidget(
        Named(MakeLabel(texts::AvailableDrives, "subheading", page, false), "lblAvailableDrives"));
    header->addStretch(1);
    btnRefresh = Named(new QToolButton(page), "btnRefresh");
    btnRefresh->setIcon(RefreshGlyph());
    btnRefresh->setIconSize(QSize(16, 16));
    btnRefresh->setFixedSize(24, 24);
    btnRefresh->setAutoRaise(true);
    btnRefresh->setToolTip("Refresh the list of drives");
    btnRefresh->setFocusPolicy(Qt::NoFocus);
    connect(btnRefresh, &QToolButton::clicked, this, &TformMain::btnRefreshClick);
    header->addWidget(btnRefresh);
    left->addLayout(header);

    trvwDriveList = Named(new QTreeWidget(page), "trvwDriveList");
    trvwDriveList->setHeaderHidden(true);
    trvwDriveList->setColumnCount(1);
    trvwDriveList->setSelectionMode(QAbstractItemView::SingleSelection);
    trvwDriveList->setSelectionBehavior(QAbstractItemView::SelectRows);
    trvwDriveList->setAllColumnsShowFocus(true);
    trvwDriveList->setIndentation(23);
    trvwDriveList->setUniformRowHeights(true);
    trvwDriveList->setFixedWidth(300);
    QFont treeFont(style::FontFamily);
    treeFont.setPixelSize(style::FontPixelSize);
    trvwDriveList->setFont(treeFont);
    connect(trvwDriveList, &QTreeWidget::itemSelectionChanged, this, &TformMain::actlstMainUpdate);
    left->addWidget(trvwDriveList, 1);
    row->addLayout(left);

    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    right->addWidget(MakePicture(DrivePicture(QSize(150, 120)), page), 0, Qt::AlignHCenter);
    right->addWidget(Named(MakeLabel(texts::DriveHelp1, "text", page), "lblDriveHelp1"));
    right->addWidget(Named(MakeLabel(texts::DriveHelp2, "muted", page), "lblDriveHelp2"));
    lblAccessDenied = Named(MakeLabel(texts::AccessDeniedHint, "denied", page), "lblAccessDenied");
    lblAccessDenied->setVisible(false);
    right->addWidget(lblAccessDenied);
    right->addStretch(1);
    row->addLayout(right, 1);
    return page;
}

QWidget* TformMain::BuildFolderPage() {
    auto* page = Named(new QWidget, "tabshSelectFolder");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(18, 22, 22, 12);
    row->setSpacing(18);
    row->addWidget(MakePicture(SaveFolderPicture(QSize(kPictureWidth, 170)), page), 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    column->addWidget(Named(MakeLabel(texts::FolderIntro, "subheading", page), "lblSaveFolder"));
    auto* edit = new QHBoxLayout;
    edSaveFolder = Named(new QLineEdit(page), "edSaveFolder");
    connect(edSaveFolder, &QLineEdit::textChanged, this, &TformMain::actlstMainUpdate);
    edit->addWidget(edSaveFolder, 1);
    btnSelectFolder = Named(new QPushButton(texts::Browse, page), "btnSelectFolder");
    btnSelectFolder->setAutoDefault(false);
    connect(btnSelectFolder, &QPushButton::clicked, this, &TformMain::btnSelectFolderClick);
    edit->addWidget(btnSelectFolder);
    column->addLayout(edit);
    column->addWidget(Named(MakeLabel(texts::FolderBrowseHint, "muted", page), "lblBrowseHint"));
    column->addSpacing(6);
    column->addWidget(Named(MakeLabel(texts::FolderCaution, "caution", page), "lblCaution"));
    column->addStretch(1);
    row->addLayout(column, 1);
    return page;
}

QWidget* TformMain::BuildProgressPage() {
    auto* page = Named(new QWidget, "tabshRecoveryProgress");
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(27, 12, 28, 10);
    column->setSpacing(6);

    imganiRecoveryProgress = Named(new TImageAnimator(page), "imganiRecoveryProgress");
    imganiRecoveryProgress->SetFrames(WorkingAnimation::Frames());
    column->addWidget(imganiRecoveryProgress, 0, Qt::AlignHCenter);

    lblSlownessHeading = Named(MakeLabel(texts::SlownessHeading, "heading", page), "lblSlownessHeading");
    column->addWidget(lblSlownessHeading);
    lblSlownessWarning = Named(MakeLabel(texts::SlownessWarning, "text", page), "lblSlownessWarning");
    column->addWidget(lblSlownessWarning);
    lnkOtherProduct = Named(new QLabel(page), "lnkOtherProduct");
    lnkOtherProduct->setTextFormat(Qt::RichText);
    lnkOtherProduct->setText(
        QString("<a href=\"%1\" style=\"color:#1e6fb8;\">%2</a>")
            .arg(QString::fromStdString(MakerUrl(texts::OtherProductPagePath)).toHtmlEscaped(),
                 QString(texts::OtherProductLink).toHtmlEscaped()));
    lnkOtherProduct->setFocusPolicy(Qt::NoFocus);
    lnkOtherProduct->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(lnkOtherProduct, &QLabel::linkActivated, this,
            [](const QString& aLink) { ShellExecute("open", aLink.toStdString()); });
    column->addWidget(lnkOtherProduct);
    column->addStretch(1);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(5);
    lblCurrRecoveryDir =
        Named(MakeLabel(texts::CurrentDirectory, "subheading", page, false), "lblCurrRecoveryDir");
    edCurrRecoveryDir = Named(new QLineEdit(page), "edCurrRecoveryDir");
    lblCurrRecoveryFile =
        Named(MakeLabel(texts::CurrentFile, "subheading", page, false), "lblCurrRecoveryFile");
    edCurrRecoveryFile = Named(new QLineEdit(page), "edCurrRecoveryFile");
    for (QLineEdit* edit : {edCurrRecoveryDir, edCurrRecoveryFile}) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
    }
    grid->addWidget(lblCurrRecoveryDir, 0, 0);
    grid->addWidget(edCurrRecoveryDir, 0, 1);
    grid->addWidget(lblCurrRecoveryFile, 1, 0);
    grid->addWidget(edCurrRecoveryFile, 1, 1);
    column->addLayout(grid);

    lblTimeElapsed = Named(MakeLabel(texts::TimeElapsedInitial, "muted", page, false), "lblTimeElapsed");
    column->addWidget(lblTimeElapsed);
    stprogRecoveryProgress = Named(new TLedProgressBar(page), "stprogRecoveryProgress");
    stprogRecoveryProgress->setFixedSize(575, 28);
    stprogRecoveryProgress->SetPercent(50);
    column->addWidget(stprogRecoveryProgress, 0, Qt::AlignHCenter);
    column->addStretch(2);
    return page;
}

QWidget* TformMain::BuildFinishPage() {
    auto* page = Named(new QWidget, "tabshFinished");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(14, 20, 15, 10);
    row->setSpacing(12);
    fFinishPicture = Named(MakePicture(FinishPicture(QSize(kPictureWidth, 200)), page), "imgFinish");
    row->addWidget(fFinishPicture, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    lblFinishHeading = Named(MakeLabel(texts::FinishHeading, "heading", page), "lblFinishHeading");
    column->addWidget(lblFinishHeading);
    lblFinishText = Named(new QPlainTextEdit(page), "lblFinishText");
    lblFinishText->setReadOnly(true);
    lblFinishText->setFrameShape(QFrame::NoFrame);
    lblFinishText->setFocusPolicy(Qt::NoFocus);
    lblFinishText->setTextInteractionFlags(Qt::NoTextInteraction);
    lblFinishText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblFinishText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblFinishText->setContextMenuPolicy(Qt::NoContextMenu);
    lblFinishText->document()->setDocumentMargin(0);
    column->addWidget(lblFinishText, 1);
    webControlSocial = Named(new TSocialBrowser(page), "webControlSocial");
    webControlSocial->setFixedSize(429, 136);
    webControlSocial->setVisible(false);
    connect(webControlSocial, &TSocialBrowser::NavigateComplete, this,
            &TformMain::webControlSocialNavigateComplete2);
    column->addWidget(webControlSocial);
    row->addLayout(column, 1);
    return page;
}

void TformMain::BuildBottomPanel() {
    pnlBottom = Named(new QWidget(this), "pnlBottom");
    pnlBottom->setAttribute(Qt::WA_StyledBackground, true);
    pnlBottom->setGeometry(0, ClientHeight - BottomPanelHeight, ClientWidth, BottomPanelHeight);

    auto button = [this](const char* aName, const char* aCaption, int aWidth) {
        auto* b = Named(new QPushButton(aCaption, pnlBottom), aName);
        b->resize(aWidth, ButtonHeight);
        b->setAutoDefault(true);
        return b;
    };
    btnGetService = button("btnGetService", texts::GetService, 150);
    btnBack = button("btnBack", texts::Back, 80);
    btnContinue = button("btnContinue", texts::Continue, 80);
    btnCancel = button("btnCancel", texts::CloseWizard, 80);
    btnContinue->setDefault(true);
    connect(btnGetService, &QPushButton::clicked, this, &TformMain::btnGetServiceClick);
    connect(btnBack, &QPushButton::clicked, this, &TformMain::btnBackClick);
    connect(btnContinue, &QPushButton::clicked, this, &TformMain::btnContinueClick);
    connect(btnCancel, &QPushButton::clicked, this, &TformMain::btnCancelClick);
    // Tab order of the panel: left to right.
    setTabOrder(btnGetService, btnBack);
    setTabOrder(btnBack, btnContinue);
    setTabOrder(btnContinue, btnCancel);
}

void TformMain::showEvent(QShowEvent* aEvent) {
    QDialog::showEvent(aEvent);
    if (fShown) return;
    fShown = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
}

void TformMain::FormShow() {
    RefreshWizard();
    // The page stack has no tab headers to hide.
    LoadSocialPage();
}

void TformMain::closeEvent(QCloseEvent* aEvent) {
    // The window's close button asks like Cancel; the window goes only when the program ends.
    if (Application().Terminated()) {
        aEvent->accept();
        return;
    }
    aEvent->ignore();
    btnCancelClick();
}

void TformMain::reject() {
    btnCancel->click();
}

} // namespace qrt
