#pragma once
// The optional sibling products: their code bundles lie beside their
// applications, which record where they are in their own preferences.
#include "foundation/path.h"

namespace SiblingBundle {

// The SWF-protection bundle "vtx.bundle" in the folder of the application
// that the domain "Vaultrix" names under "app_path". False, out unchanged,
// when the domain or the key is missing; otherwise out is set and the result
// says whether something exists there.
bool FindLock(CPath& out);

}  // namespace SiblingBundle
