#include "app/RunVerdict.h"

#include "app/DeviceDialogue.h"

const char* UnitName(uint8_t Unit) { return Unit == SlaveTarget ? "Slave" : "Master"; }

std::string ProgrammedMessage(bool Master, bool Slave) {
  if (Master && Slave) return "Master and Slave programmed and restarted";
  return std::string(Master ? "Master" : "Slave") + " programmed and restarted";
}
