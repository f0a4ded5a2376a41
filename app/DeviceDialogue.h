#pragma once

#include <cstdint>

// The texts of the dialogue with a Zelmirt's bootloaders, sent exactly as written (plus a
// line feed where the sequence adds one), and the states of a programming run.
namespace DeviceDialogue {
constexpr const char* CmdEnableMasterBL = "ENB MASTER BL";
constexpr const char* AckMasterBL = "ACK MASTER BL";
constexpr const char* CmdEnableSlaveBL = "ENB SLAVE BL";
constexpr const char* CmdSyncSlaveBL = "SYNC SLAVE BL";
constexpr const char* AckSlaveBL = "ACK SLAVE BL";
constexpr const char* SyncByte = "U";
constexpr const char* RecVersion = ":020000050F00EA";
constexpr const char* RecErase = ":0100000307F5";
constexpr const char* RecRestart = ":020000030300F8";
// Ends every acknowledged record and the version reply.
constexpr char Acknowledged = '.';
constexpr char LineTerminator = '\n';
constexpr char ReplyTerminator = '\r';
}  // namespace DeviceDialogue

// The states of a run (FPgmState); 7 is not used.
enum TPgmState : uint8_t {
  psIdle = 0,
  psEnable = 1,
  psAwaitAck = 2,
  psSyncDelay = 3,
  psAwaitSyncEcho = 4,
  psQueryVersion = 5,
  psAwaitVersion = 6,
  psErase = 8,
  psDump = 9,
  psCompleteDelay = 10,
  psRestart = 11,
  psAwaitRestart = 12,
  psFailed = 13,
  psRestarted = 14,
  psFinish = 15,
  psAwaitNextTarget = 16,
};

// The units of a Zelmirt (FTarget, FNextTarget).
constexpr uint8_t MasterTarget = 1;
constexpr uint8_t SlaveTarget = 2;
