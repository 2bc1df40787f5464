#include "keys/PrimaryKeyListQuery.h"

#include "db/Connection.h"
#include "keys/KeyListModel.h"

#include <QString>
#include <memory>

namespace quorvane {

void readPrimaryKeyList(db::Connection& connection, KeyListModel& list)
{
    const std::unique_ptr<db::RecordSet> rsKeys = connection.Execute(QString::fromLatin1(kPrimaryKeyListQuery));
    while (!rsKeys->eof()) {
        const int item = list.addItem(rsKeys->Fields(0));
        list.addSubItem(item, rsKeys->Fields(1));
        list.addSubItem(item, rsKeys->Fields(2));
        rsKeys->MoveNext();
    }
}

} // namespace quorvane
