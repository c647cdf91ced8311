#include "relay/ConnectedClientsList.h"

#include "platform/Text.h"

#include <QGroupBox>
#include <QListWidget>

namespace halcyra {

TConnectedClientsList::TConnectedClientsList(QGroupBox* group, QListWidget* list) : group_(group), list_(list)
{
    QObject::connect(list_, &QListWidget::itemClicked, list_,
                     [this](QListWidgetItem* item) { list_->setToolTip(item->text()); });
}

void TConnectedClientsList::ShowClients(const std::vector<std::string>& entries)
{
    list_->clear();
    for (const std::string& entry : entries) list_->addItem(QString::fromStdString(Win1252ToUtf8(entry)));
    group_->setVisible(!entries.empty());
}

}  // namespace halcyra
