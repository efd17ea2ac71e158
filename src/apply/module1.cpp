#include "apply/module1.h"

namespace Module1 {

TouchTimeRecord TouchTime{};

} // namespace Module1
