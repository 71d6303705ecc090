#include "ui/MainWindow.h"

#include "core/shell/frmMain.h"
#include "ui/ControlBinding.h"
#include "ui/RemotePreview.h"
#include "ui/ViewerWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace ui {
namespace {

QGroupBox* Frame(shell::Control& control, QWidget* parent) { return Make<QGroupBox>(control, parent); }

}  // namespace

MainWindow::MainWindow(shell::frmMain& model, QWidget* parent) : QMainWindow(parent), model_(model)
{
    Bind(model.c.frmMain, this);
    BuildMenu();
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(BuildAccountFrame());
    left->addWidget(BuildCodeFrames());
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(BuildSessionFrame());
    right->addWidget(BuildRemoteFrame(), 1);
    columns->addLayout(left, 0);
    columns->addLayout(right, 1);
    auto* all = new QVBoxLayout(central);
    all->addLayout(columns, 1);
    all->addWidget(BuildLog());
    setCentralWidget(central);
    resize(960, 720);
    viewer_ = std::make_unique<ViewerWindow>(model.viewer);
    connect(&model, &shell::frmMain::unloaded, this, [this] {
        unloaded_ = true;
        close();
    });
}

void MainWindow::BuildMenu()
{
    shell::MainControls& c = model_.c;
    const auto menu = [this](shell::Control& control) {
        QMenu* menu = menuBar()->addMenu(control.text());
        Bind(control, menu->menuAction());
        menu->setObjectName(control.name());
        menu->setAccessibleName(menu->menuAction()->iconText());  // the caption without its '&'
        return menu;
    };
    const auto add = [this](QMenu* menu, shell::Control& control, auto handler) {
        QAction* action = menu->addAction(QString());
        Bind(control, action);
        connect(action, &QAction::triggered, this, handler);
    };
    QMenu* arquivo = menu(c.mnuArquivo);
    add(arquivo, c.mnuMinhaConta, [this] { model_.mnuMinhaConta_Click(); });
    add(arquivo, c.mnuNovoCodigo, [this] { model_.mnuNovoCodigo_Click(); });
    add(arquivo, c.mnuSair, [this] { model_.mnuSair_Click(); });
    QMenu* softwares = menu(c.mnuQuorvantele);
    add(softwares, c.mnuOutrosSoftwares, [this] { model_.mnuOutrosSoftwares_Click(); });
    QMenu* ajuda = menu(c.mnuAjuda);
    add(ajuda, c.mnuManual, [this] { model_.mnuManual_Click(); });
    add(ajuda, c.mnuSobre, [this] { model_.mnuSobre_Click(); });
}

QWidget* MainWindow::BuildAccountFrame()
{
    shell::MainControls& c = model_.c;
    QGroupBox* frame = Frame(c.fraConta, this);
    auto* grid = new QGridLayout(frame);
    int row = 0;
    for (auto [label, box] : {std::pair{&c.lblNome, &c.txtNome}, {&c.lblEmail, &c.txtEmail},
                              {&c.lblCodigoAtivacao, &c.txtCodigoAtivacao}, {&c.lblDispositivo, &c.txtDispositivo},
                              {&c.lblToken, &c.txtToken}}) {
        auto* caption = Make<QLabel>(*label, frame);
        grid->addWidget(caption, row, 0);
        grid->addWidget(Labelled(caption, Make<QLineEdit>(*box, frame)), row, 1, 1, 3);
        ++row;
    }
    auto* dispositivo = frame->findChild<QLineEdit*>(c.txtDispositivo.name());
    dispositivo->setReadOnly(true);
    // The whole device id (36 characters) stays readable.
    const QString widestId = QStringLiteral("dddddddd-dddd-dddd-dddd-dddddddddddd");
    dispositivo->setMinimumWidth(dispositivo->fontMetrics().horizontalAdvance(widestId) + 16);
    grid->addWidget(Button(c.cmdCadastrar, frame, [this] { model_.account.cmdCadastrar_Click(); }), row, 1);
    grid->addWidget(Button(c.cmdAtivar, frame, [this] { model_.account.cmdAtivar_Click(); }), row, 2);
    grid->addWidget(Button(c.cmdValidar, frame, [this] { model_.account.cmdValidar_Click(); }), row, 3);
    return frame;
}

QWidget* MainWindow::BuildCodeFrames()
{
    shell::MainControls& c = model_.c;
    auto* holder = new QWidget(this);
    auto* column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);

    QGroupBox* receber = Frame(c.fraReceber, holder);
    auto* receberLayout = new QGridLayout(receber);
    auto* codeLabel = Make<QLabel>(c.lblCodigoReceber, receber);
    receberLayout->addWidget(codeLabel, 0, 0, 1, 2);
    auto* code = Labelled(codeLabel, Make<QLineEdit>(c.txtCodigoReceber, receber));
    code->setReadOnly(true);
    code->setAlignment(Qt::AlignCenter);
    code->setStyleSheet("font-size: 22pt; font-weight: bold; letter-spacing: 3px;");
    receberLayout->addWidget(code, 1, 0, 1, 2);
    receberLayout->addWidget(Button(c.cmdCopiarCodigo, receber, [this] { model_.code.cmdCopiarCodigo_Click(); }), 2, 0);
    receberLayout->addWidget(Button(c.cmdGerarCodigo, receber, [this] { model_.code.cmdGerarCodigo_Click(); }), 2, 1);
    column->addWidget(receber);

    QGroupBox* acessar = Frame(c.fraAcessar, holder);
    auto* acessarLayout = new QGridLayout(acessar);
    auto* acessarLabel = Make<QLabel>(c.lblCodigoAcessar, acessar);
    acessarLayout->addWidget(acessarLabel, 0, 0, 1, 2);
    acessarLayout->addWidget(Labelled(acessarLabel, Make<QLineEdit>(c.txtCodigoAcessar, acessar)), 1, 0);
    acessarLayout->addWidget(Button(c.cmdSolicitar, acessar, [this] { model_.access.cmdSolicitar_Click(); }), 1, 1);
    column->addWidget(acessar);
    return holder;
}

QWidget* MainWindow::BuildSessionFrame()
{
    shell::MainControls& c = model_.c;
    QGroupBox* frame = Frame(c.fraSessao, this);
    auto* layout = new QVBoxLayout(frame);
    auto* status = Make<QLabel>(c.lblStatus, frame);
    status->setWordWrap(true);
    status->setMinimumHeight(48);
    layout->addWidget(status);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(c.cmdPermitir, frame, [this] { model_.access.cmdPermitir_Click(); }));
    buttons->addWidget(Button(c.cmdRecusar, frame, [this] { model_.access.cmdRecusar_Click(); }));
    buttons->addWidget(Button(c.cmdEncerrar, frame, [this] { model_.end.cmdEncerrar_Click(); }));
    layout->addLayout(buttons);
    return frame;
}

QWidget* MainWindow::BuildRemoteFrame()
{
    shell::MainControls& c = model_.c;
    QGroupBox* frame = Frame(c.fraRemoto, this);
    auto* layout = new QGridLayout(frame);
    auto* help = Make<QLabel>(c.lblTelaAjuda, frame);
    help->setWordWrap(true);
    layout->addWidget(help, 0, 0, 1, 4);
    const auto labelled = [&](shell::Control& label, QWidget* field, int row, int column, int span) {
        auto* caption = Make<QLabel>(label, frame);
        layout->addWidget(caption, row, column);
        layout->addWidget(Labelled(caption, field), row, column + 1, 1, span);
    };
    labelled(c.lblTelaIp, Make<QLineEdit>(c.txtTelaIp, frame), 1, 0, 1);
    labelled(c.lblTelaPorta, Make<QLineEdit>(c.txtTelaPorta, frame), 1, 2, 1);
    layout->addWidget(Button(c.cmdClienteTransmitirTela, frame, [this] { model_.routes.cmdClienteTransmitirTela_Click(); }), 2, 0, 1, 2);
    layout->addWidget(Button(c.cmdTecnicoConectarTela, frame, [this] { model_.routes.cmdTecnicoConectarTela_Click(); }), 2, 2, 1, 2);

    preview_ = new RemotePreview(frame, QColor(32, 32, 32));
    Bind(c.picRemote, preview_);
    preview_->setAccessibleName("Previa da tela remota");
    preview_->setMinimumSize(320, 180);
    model_.picRemote = preview_;
    connect(preview_, &RemotePreview::mouse, this,
            [this](const QString& action, int x, int y, int button, int width, int height) {
                model_.RemoteMouseFromView(action, x, y, button, width, height);
            });
    connect(preview_, &RemotePreview::focusLost, &model_.viewer, &input::frmViewer::FocusLost);
    layout->addWidget(preview_, 3, 0, 1, 4);
    layout->setRowStretch(3, 1);

    auto* title = Make<QLabel>(c.lblAjustesTela, frame);
    layout->addWidget(title, 4, 0, 1, 4);
    auto* nitidez = QualityBar(c.scrNitidez, frame, &screenlink::QualityPanel::scrNitidez_Change);
    auto* atualizacao = QualityBar(c.scrAtualizacao, frame, &screenlink::QualityPanel::scrAtualizacao_Change);
    labelled(c.lblNitidez, nitidez, 5, 0, 3);
    labelled(c.lblAtualizacao, atualizacao, 6, 0, 3);
    layout->addWidget(Button(c.cmdPararRemoto, frame, [this] { model_.loss.cmdPararRemoto_Click(); }), 7, 0, 1, 4);
    return frame;
}

QScrollBar* MainWindow::QualityBar(shell::Control& control, QWidget* parent, void (screenlink::QualityPanel::*onChange)())
{
    auto* bar = Make<QScrollBar>(control, parent);
    bar->setOrientation(Qt::Horizontal);
    // One level per step, and a thumb that does not hide the short range.
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setFocusPolicy(Qt::StrongFocus);  // the keyboard reaches it too
    connect(bar, &QScrollBar::valueChanged, this, [this, &control, onChange](int value) {
        control.setValue(value);
        (model_.quality.*onChange)();
    });
    return bar;
}

QWidget* MainWindow::BuildLog()
{
    log_ = new QPlainTextEdit(this);
    log_->setObjectName(model_.c.txtLog.name());
    log_->setReadOnly(true);
    log_->setAccessibleName("Registro de atividades");
    // Read with the keyboard too; Tab leaves it like any other read-only box.
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setTabChangesFocus(true);
    log_->setMaximumBlockCount(0);
    log_->setFixedHeight(140);
    const auto sync = [this] { log_->setPlainText(QString(model_.log.text()).replace("\r\n", "\n")); };
    sync();
    connect(&model_.log, &shell::ActivityLog::changed, log_, sync);
    return log_;
}

MainWindow::~MainWindow() { model_.picRemote = nullptr; }

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!unloaded_) {
        unloaded_ = true;
        model_.Unload();
    }
    event->accept();
}

}  // namespace ui
