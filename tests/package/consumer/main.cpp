// A program of somebody else's, built against the installed ostrand: it
// creates the class by its programmatic name and asks for a Monday.
#include <iostream>

#include "component/member_table.h"
#include "core/value.h"

int main() {
  const auto object = ostrand::CreateObject(ostrand::kProgrammaticName);
  std::cout << object->GetFirstMonday(ostrand::Value::Text("2001-12-12")).ToText() << "\n";
}
