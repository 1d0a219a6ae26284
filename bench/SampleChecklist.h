#pragma once

#include "Common/CheckList/CheckListContainer.h"

#include <QString>

namespace sample {

constexpr int kItemsPerList = 100;

// A realistic document of 'items' items, in lists of 100: "Checklist 12" holds items such as
// "Check hydraulic pressure 12" / "SET 2200 PSI". Saved, 1,000,000 items take about 90 MB.
inline void Fill(zuchecklist::CheckListContainer& model, int items)
{
    for (int l = 0; l < items / kItemsPerList; ++l) {
        model.AddList(QStringLiteral("Checklist %1").arg(l));
        for (int i = 0; i < kItemsPerList; ++i)
            model.AddItem(QStringLiteral("Check hydraulic pressure %1").arg(i),
                          QStringLiteral("SET %1 PSI").arg(1000 + 100 * (i % 30)), l);
    }
}

} // namespace sample
