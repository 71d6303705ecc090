#include "ui/AccountDialogs.h"

#include "core/account/frmCadastro.h"
#include "core/shell/frmSobre.h"
#include "ui/ControlBinding.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {
namespace {

// Room around and between the rows, so nothing touches the window's edge.
QVBoxLayout* Column(QWidget* window)
{
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->setSpacing(10);
    return layout;
}

QLabel* Title(shell::Control& control, QWidget* parent, int size)
{
    auto* label = Make<QLabel>(control, parent);
    label->setStyleSheet(QString("font-size: %1pt; font-weight: bold;").arg(size));
    return label;
}

}  // namespace

CadastroDialog::CadastroDialog(account::frmCadastro& model, QWidget* parent) : QDialog(parent)
{
    Bind(model.frmCadastroCaption, this);
    auto* layout = Column(this);
    layout->addWidget(Title(model.lblTitulo, this, 14));
    auto* intro = Make<QLabel>(model.Label1, this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    const auto row = [this](QFormLayout* form, shell::Control& label, shell::Control& box) {
        auto* caption = Make<QLabel>(label, this);
        form->addRow(caption, Labelled(caption, Make<QLineEdit>(box, this)));
    };
    row(form, model.lblNome, model.txtNome);
    row(form, model.lblEmail, model.txtEmail);
    layout->addLayout(form);
    layout->addWidget(Button(model.cmdCriar, this, [&model] { model.cmdCriar_Click(); }));
    layout->addSpacing(8);  // the second step: the code from the e-mail
    auto* codeForm = new QFormLayout;
    row(codeForm, model.lblCodigo, model.txtCodigo);
    layout->addLayout(codeForm);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(model.cmdAtivar, this, [&model] { model.cmdAtivar_Click(); }));
    buttons->addWidget(Button(model.cmdFechar, this, [&model] { model.cmdFechar_Click(); }));
    layout->addLayout(buttons);
    connect(&model, &account::frmCadastro::closeRequested, this, &QDialog::accept);
    setMinimumWidth(540);
}

SobreDialog::SobreDialog(shell::frmSobre& model, QWidget* parent) : QDialog(parent)
{
    Bind(model.frmSobreCaption, this);
    auto* layout = Column(this);
    layout->addWidget(Title(model.lblTitulo, this, 18));
    auto* subtitle = Make<QLabel>(model.lblSubtitulo, this);
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    auto* dados = Make<QLabel>(model.lblDados, this);
    dados->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(dados);
    layout->addSpacing(6);
    auto* links = new QHBoxLayout;
    links->addWidget(Button(model.cmdManual, this, [&model] { model.cmdManual_Click(); }));
    links->addWidget(Button(model.cmdSoftwares, this, [&model] { model.cmdSoftwares_Click(); }));
    layout->addLayout(links);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Button(model.cmdRemover, this, [&model] { model.cmdRemover_Click(); }));
    bottom->addWidget(Button(model.cmdFechar, this, [&model] { model.cmdFechar_Click(); }));
    layout->addLayout(bottom);
    connect(&model, &shell::frmSobre::closeRequested, this, &QDialog::accept);
    setMinimumWidth(480);
}

}  // namespace ui
