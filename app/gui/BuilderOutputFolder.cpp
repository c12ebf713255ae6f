// SPDX-License-Identifier: Apache-2.0
// Where the builder window writes its utilities: beside their images, as always, or into a
// folder the person chooses, such as a folder of utilities the flash window takes. The row
// lies below the image folder's, so every control above keeps its place. The builder's own
// checks keep such a folder whole: a copy of another model under the same name, or a file that
// is no utility, is never replaced (BuildOutputName.h).

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include "app/gui/BuilderWindow.h"
#include "ui/Translate.h"

namespace {
constexpr int OutputRowHeight = 32;  // as the image folder's row
}  // namespace

void BuilderWindow::CreateOutputControls() {
    const int top = FolderButton_->y() + OutputRowHeight;
    resize(width(), height() + OutputRowHeight);
    OutputButton_ = new QPushButton(QString::fromUtf8(_("&Save into...")), this);
    OutputButton_->setObjectName(QStringLiteral("OutputButton"));
    OutputButton_->setGeometry(FolderButton_->x(), top, FolderButton_->width(), FolderButton_->height());
    OutputButton_->setAutoDefault(false);
    OutputButton_->setAccessibleName(QString::fromUtf8(_("Choose the folder the utilities are written into")));
    connect(OutputButton_, &QPushButton::clicked, this, [this] { ChooseOutputFolder(); });
    OutputLabel_ = new QLabel(this);
    OutputLabel_->setObjectName(QStringLiteral("OutputLabel"));
    OutputLabel_->setGeometry(FolderLabel_->x(), top + 3, FolderLabel_->width(), FolderLabel_->height());
    OutputLabel_->setAccessibleName(QString::fromUtf8(_("Output folder")));
    setTabOrder(FolderButton_, OutputButton_);
    ShowOutputFolder();
}

void BuilderWindow::ShowOutputFolder() {
    // Words are shown whole; only a chosen folder's path is shortened in its middle to the
    // label's width (its whole in the tool tip).
    if (OutputDirectory_.isEmpty()) {
        const QString words = QString::fromUtf8(_("beside the images"));
        OutputLabel_->setToolTip(QString());
        OutputLabel_->setText(words);
        // A translation longer than the English widens the label, and the window with it.
        const int need = OutputLabel_->fontMetrics()
                             .boundingRect(QRect(0, 0, 100000, 100000), int(OutputLabel_->alignment()), words)
                             .width();
        const int shortfall = need - OutputLabel_->contentsRect().width();
        if (shortfall > 0) {
            OutputLabel_->resize(OutputLabel_->width() + shortfall, OutputLabel_->height());
            FitTexts();
        }
        return;
    }
    OutputLabel_->setToolTip(OutputDirectory_);
    OutputLabel_->setText(OutputLabel_->fontMetrics().elidedText(OutputDirectory_, Qt::ElideMiddle, OutputLabel_->width()));
}

void BuilderWindow::ChooseOutputFolder() {
    if (Running())
        return;
    const QString current = OutputDirectory_.isEmpty() ? Directory_ : OutputDirectory_;
    const char* title = _("Choose the folder the utilities are written into");
    const std::string chosen =
        Settings_.ChooseFolder ? Settings_.ChooseFolder(title, QFile::encodeName(current).toStdString())
                               : QFile::encodeName(QFileDialog::getExistingDirectory(this, QString::fromUtf8(title), current))
                                     .toStdString();
    if (chosen.empty())
        return;
    OutputDirectory_ = QFile::decodeName(chosen.c_str());
    ShowOutputFolder();
}
