#pragma once

#include <string>
#include <vector>

#include "tests/support/ScriptedDevice.h"

// An Intel HEX record with its checksum.
std::string HexRecord(unsigned Address, unsigned Type, const std::vector<unsigned>& Data);
// The Index-th 16-byte data record of a test program, none of them blank.
std::string DataRecord(int Index);
// A program file's text: the first Records data records, then the end-of-file record, each
// line ending with CR LF, so that the whole-file check before a run accepts it.
std::string ProgramText(int Records);

// How the scripted Zelmirt answers; by default as a healthy device.
struct TDeviceBehaviour {
  bool AnswerEnable = true;
  // Replaces the reply line to the enable command, when set.
  std::string EnableReply{};
  bool EchoSync = true;
  bool AnswerVersion = true;
  // Replaces the three version characters of the version reply, when set.
  std::string Version{};
  std::string VersionPrefix{};
  // Records count from 1, the erase record; 2 is the first program record. The refused
  // record is answered without "." (with an empty line, if so set); from the silent one
  // on, nothing is answered. 0 for none.
  int RefusedRecord = 0;
  bool RefuseWithEmptyLine = false;
  // Replaces the refusal line (the record followed by "!"), when set.
  std::string RefusalText{};
  // Faults that make a refusal look like an acknowledgement to a careless reader, sent just
  // before the refusal: a stray line ending in ".", or a late copy of the previous record's
  // acknowledgement.
  bool StrayLineBeforeRefusal = false;
  bool DuplicateBeforeRefusal = false;
  int SilentFromRecord = 0;
  bool AnswerRestart = true;
};

// The Master and, behind it, the Slave as the programming sequence talks to them, over a
// real connection: texts are framed as the device frames them (records by their own byte
// count, Slave texts by their line feed) and answered as the dialogue expects.
class TZelmirtScript {
public:
  explicit TZelmirtScript(TDeviceBehaviour Behaviour) : FBehaviour(std::move(Behaviour)) {}
  void operator()(TScriptedDevice& Device, std::string& Pending);

private:
  // Answers one framed text.
  std::string Answer(const std::string& Text);

  TDeviceBehaviour FBehaviour;
  bool FSlave = false;
  int FRecords = 0;
  std::string FLastReply;
};
