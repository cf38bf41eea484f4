// Traskel: converts a CAD feature export into commands of the measurement
// program open in the host, in one pass.
#include <clocale>

#include "app/form1.h"
#include "app/implementations.h"

int main() {
  std::setlocale(LC_ALL, "");  // the user's character set and number format
  traskel::Implementations use = traskel::ChooseImplementations();
  traskel::Platform platform{*use.ui, *use.automation, use.numbers};
  traskel::ExitStatus status;
  {
    traskel::Run run(platform);
    status = traskel::Form1Load(run, *use.settings);
  }
  use.automation->EndOfRun();
  return status;
}
