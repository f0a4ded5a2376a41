// Any bytes as a program file, loaded and filtered as for a run. Properties: the records kept
// are lines of the file, in file order, with no line break in them; a malformed line is
// named in a message that is not cut short by the line's own bytes and shows no control bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/ZelmirtPgmForm.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "fuzz/FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TZelmirt_PgmForm form(FuzzFile("zelmirt-programmer.INI"));
  const std::string programFile = WriteFuzzFile("program.hex", Data, Size);

  form.LoadProgramFile(programFile);
  TStringList loaded;
  loaded.CopyFrom(form.ProgramLines());
  try {
    form.FilterProgramLines();
  } catch (const EConvertError& E) {
    const std::string message = E.Message();
    if (message.rfind("Program file line ", 0) != 0) PropertyBroken("unexpected message: " + message);
    if (!message.ends_with(" is not hexadecimal") && !message.ends_with(")"))
      PropertyBroken("the message is cut: " + message);
    for (const char c : message)
      if (static_cast<unsigned char>(c) < 0x20) PropertyBroken("a control byte in the message: " + message);
    return 0;
  }
  int next = 0;
  for (int i = 0; i < form.ProgramLines().Count(); ++i) {
    const std::string& record = form.ProgramLines().Strings(i);
    if (record.find_first_of("\r\n") != std::string::npos) PropertyBroken("a record holds a line break");
    while (next < loaded.Count() && loaded.Strings(next) != record) ++next;
    if (next++ == loaded.Count()) PropertyBroken(Format("record %d is not a line of the file in order", i));
  }
  return 0;
}
