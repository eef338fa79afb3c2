// Generated from db/schema.sql
#include <string_view>
namespace varnel {
extern const std::string_view kSchemaSql;
const std::string_view kSchemaSql = R"varnel_schema(-- Varnel configuration and log database (SQLite).
-- Every table is opened by name and walked in rowid order; single-row tables
-- hold exactly one row. Text columns default to '' and numbers to 0 so that a
-- row added by a tool reads the same as one written by the administration program.

-- rows: one
CREATE TABLE "Settings_General" (
  "UseDateFormat" TEXT NOT NULL DEFAULT '',
  "DebugMode" TEXT NOT NULL DEFAULT '',
  "Version" TEXT NOT NULL DEFAULT '',
  "BufferAllMessOffDuty" INTEGER NOT NULL DEFAULT 0,
  "NotifyDutyListOnOff" INTEGER NOT NULL DEFAULT 0,
  "RemoteBackup" INTEGER NOT NULL DEFAULT 0,
  "PrimaryAddress" TEXT NOT NULL DEFAULT '',
  "BackupAddress" TEXT NOT NULL DEFAULT '',
  "BackupVarnel" INTEGER NOT NULL DEFAULT 0,
  "BackupHour" INTEGER NOT NULL DEFAULT 0,
  "DelOldLogDays" INTEGER NOT NULL DEFAULT 0,
  "LogIndexEvent" INTEGER NOT NULL DEFAULT 0,
  "LogIndexAlarm" INTEGER NOT NULL DEFAULT 0,
  "LogIndexReqAck" INTEGER NOT NULL DEFAULT 0,
  "LogIndexAction" INTEGER NOT NULL DEFAULT 0,
  "LogIndexMaintenance" INTEGER NOT NULL DEFAULT 0,
  "TestUse" INTEGER NOT NULL DEFAULT 0,
  "TestSendTime" INTEGER NOT NULL DEFAULT 0,
  "TestSeverity" TEXT NOT NULL DEFAULT '',
  "TestSource" TEXT NOT NULL DEFAULT '',
  "TestMessage" TEXT NOT NULL DEFAULT '',
  "TestLastSent" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Event_CheckInterval" (
  "CheckInterval" INTEGER NOT NULL DEFAULT 0,
  "SendDate" INTEGER NOT NULL DEFAULT 0,
  "SendTime" INTEGER NOT NULL DEFAULT 0,
  "SendNodeName" INTEGER NOT NULL DEFAULT 0,
  "SendNodeNameMaxChar" INTEGER NOT NULL DEFAULT 0,
  "SendPriority" INTEGER NOT NULL DEFAULT 0,
  "SendMessage" INTEGER NOT NULL DEFAULT 0,
  "SendMessageMaxChar" INTEGER NOT NULL DEFAULT 0,
  "OneMessOneEvent" INTEGER NOT NULL DEFAULT 0,
  "MaxMessages" INTEGER NOT NULL DEFAULT 0,
  "ForwardSendStatusAsTrap" INTEGER NOT NULL DEFAULT 0,
  "TrapIpAddress" TEXT NOT NULL DEFAULT '',
  "TrapUdpPort" INTEGER NOT NULL DEFAULT 0,
  "TrapCommunity" TEXT NOT NULL DEFAULT '',
  "TrapProtocol" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Settings_SNMP_Agent" (
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "Status" TEXT NOT NULL DEFAULT '',
  "IpAddress" TEXT NOT NULL DEFAULT '',
  "UdpPort" INTEGER NOT NULL DEFAULT 0,
  "GetComm" TEXT NOT NULL DEFAULT '',
  "SetComm" TEXT NOT NULL DEFAULT '',
  "SysContact" TEXT NOT NULL DEFAULT '',
  "SysName" TEXT NOT NULL DEFAULT '',
  "SysLocation" TEXT NOT NULL DEFAULT '',
  "PollMe" INTEGER NOT NULL DEFAULT 0,
  "PollMeTimeout" INTEGER NOT NULL DEFAULT 0,
  "PollMeSeverity" TEXT NOT NULL DEFAULT '',
  "PollMeSource" TEXT NOT NULL DEFAULT '',
  "PollMeMessage" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Event_SNMP_TrapServer" (
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "IpAddress" TEXT NOT NULL DEFAULT '',
  "UdpPort" INTEGER NOT NULL DEFAULT 0,
  "Community" TEXT NOT NULL DEFAULT '',
  "SkipTrapsNotDef" INTEGER NOT NULL DEFAULT 0,
  "Status" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Event_SNMP_MibTrap" (
  "TrapOid" TEXT NOT NULL DEFAULT '',
  "TrapName" TEXT NOT NULL DEFAULT '',
  "Var1" TEXT NOT NULL DEFAULT '',
  "Var2" TEXT NOT NULL DEFAULT '',
  "Var3" TEXT NOT NULL DEFAULT '',
  "Var4" TEXT NOT NULL DEFAULT '',
  "Var5" TEXT NOT NULL DEFAULT '',
  "Var6" TEXT NOT NULL DEFAULT '',
  "Var7" TEXT NOT NULL DEFAULT '',
  "Var8" TEXT NOT NULL DEFAULT '',
  "Var9" TEXT NOT NULL DEFAULT '',
  "Var10" TEXT NOT NULL DEFAULT '',
  "Var11" TEXT NOT NULL DEFAULT '',
  "Var12" TEXT NOT NULL DEFAULT '',
  "Var13" TEXT NOT NULL DEFAULT '',
  "Var14" TEXT NOT NULL DEFAULT '',
  "Var15" TEXT NOT NULL DEFAULT '',
  "Var16" TEXT NOT NULL DEFAULT '',
  "Var17" TEXT NOT NULL DEFAULT '',
  "Var18" TEXT NOT NULL DEFAULT '',
  "Var19" TEXT NOT NULL DEFAULT '',
  "Var20" TEXT NOT NULL DEFAULT '',
  "LogEvent" INTEGER NOT NULL DEFAULT 0,
  "Priority" TEXT NOT NULL DEFAULT '',
  "NodeName" TEXT NOT NULL DEFAULT '',
  "Message" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Event_CommPort" (
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "Status" TEXT NOT NULL DEFAULT '',
  "CommPort" INTEGER NOT NULL DEFAULT 0,
  "Settings" TEXT NOT NULL DEFAULT '',
  "Handshaking" TEXT NOT NULL DEFAULT '',
  "System" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Event_SysLog" (
  "Protocol1" TEXT NOT NULL DEFAULT '',
  "Protocol2" TEXT NOT NULL DEFAULT '',
  "IpAddress1" TEXT NOT NULL DEFAULT '',
  "IpAddress2" TEXT NOT NULL DEFAULT '',
  "ListeningPort1" INTEGER NOT NULL DEFAULT 0,
  "ListeningPort2" INTEGER NOT NULL DEFAULT 0,
  "Enabled1" INTEGER NOT NULL DEFAULT 0,
  "Enabled2" INTEGER NOT NULL DEFAULT 0,
  "Status1" TEXT NOT NULL DEFAULT '',
  "Status2" TEXT NOT NULL DEFAULT '',
  "FilterIpAddrSearch" TEXT NOT NULL DEFAULT '',
  "FilterIpAddress" TEXT NOT NULL DEFAULT '',
  "FilterPriSearch" TEXT NOT NULL DEFAULT '',
  "FilterPriority" TEXT NOT NULL DEFAULT '',
  "FilterFacSearch" TEXT NOT NULL DEFAULT '',
  "FilterFacility" TEXT NOT NULL DEFAULT '',
  "FilterMessSearch" TEXT NOT NULL DEFAULT '',
  "FilterMessage" TEXT NOT NULL DEFAULT '',
  "FilterCaseSensitive" INTEGER NOT NULL DEFAULT 0,
  "ModParse3164" INTEGER NOT NULL DEFAULT 0,
  "ModRemoveDAT" INTEGER NOT NULL DEFAULT 0,
  "ModMaxLen" INTEGER NOT NULL DEFAULT 0,
  "ModDefFacility" TEXT NOT NULL DEFAULT '',
  "ModDefPriority" TEXT NOT NULL DEFAULT '',
  "LogSourceAs" TEXT NOT NULL DEFAULT '',
  "LogMessageAs" TEXT NOT NULL DEFAULT '',
  "ForwardSysLogAsTrap" INTEGER NOT NULL DEFAULT 0,
  "TrapIpAddress" TEXT NOT NULL DEFAULT '',
  "TrapUdpPort" INTEGER NOT NULL DEFAULT 0,
  "TrapCommunity" TEXT NOT NULL DEFAULT '',
  "TrapProtocol" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Event_SMTP" (
  "TcpPort" INTEGER NOT NULL DEFAULT 0,
  "IpAddress" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "Status" TEXT NOT NULL DEFAULT '',
  "AccessListIp" TEXT NOT NULL DEFAULT '',
  "AccessListFrom" TEXT NOT NULL DEFAULT '',
  "SendingSystem" TEXT NOT NULL DEFAULT '',
  "PhoneMoOper" TEXT NOT NULL DEFAULT '',
  "UseEventFilter" INTEGER NOT NULL DEFAULT 0,
  "UseHcodedSource" INTEGER NOT NULL DEFAULT 0,
  "HcodedSource" TEXT NOT NULL DEFAULT '',
  "UseHcodedPriority" INTEGER NOT NULL DEFAULT 0,
  "HcodedPriority" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "Event_SMS" (
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "Status" TEXT NOT NULL DEFAULT '',
  "PMS" TEXT NOT NULL DEFAULT '',
  "Protocol" TEXT NOT NULL DEFAULT '',
  "SIL" INTEGER NOT NULL DEFAULT 0,
  "WaitForReply" INTEGER NOT NULL DEFAULT 0,
  "WaitForReplyTime" INTEGER NOT NULL DEFAULT 0,
  "ExecProg1" TEXT NOT NULL DEFAULT '',
  "ExecProg2" TEXT NOT NULL DEFAULT '',
  "ExecProg3" TEXT NOT NULL DEFAULT '',
  "ExecProg4" TEXT NOT NULL DEFAULT '',
  "ExecProg5" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Event_Status_SNMPc" (
  "Rule" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "SuppGrp_Perm" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "Priority" TEXT NOT NULL DEFAULT '',
  "PrioritySearch" TEXT NOT NULL DEFAULT '',
  "NodeName" TEXT NOT NULL DEFAULT '',
  "NodeNameSearch" TEXT NOT NULL DEFAULT '',
  "Message" TEXT NOT NULL DEFAULT '',
  "MessageSearch" TEXT NOT NULL DEFAULT '',
  "CaseSensitive" INTEGER NOT NULL DEFAULT 0,
  "Correlation" INTEGER NOT NULL DEFAULT 0,
  "SkipDupEvent" INTEGER NOT NULL DEFAULT 0,
  "CriteriaDupEvent" TEXT NOT NULL DEFAULT '',
  "PriorityUp" TEXT NOT NULL DEFAULT '',
  "PrioritySearchUp" TEXT NOT NULL DEFAULT '',
  "HoldTimer" INTEGER NOT NULL DEFAULT 0,
  "SendMessFirstDown" INTEGER NOT NULL DEFAULT 0,
  "SendUpNotInQueue" INTEGER NOT NULL DEFAULT 0,
  "RecvName1" TEXT NOT NULL DEFAULT '',
  "RecvName2" TEXT NOT NULL DEFAULT '',
  "RecvName3" TEXT NOT NULL DEFAULT '',
  "RecvName4" TEXT NOT NULL DEFAULT '',
  "RecvName5" TEXT NOT NULL DEFAULT '',
  "RecvType1" TEXT NOT NULL DEFAULT '',
  "RecvType2" TEXT NOT NULL DEFAULT '',
  "RecvType3" TEXT NOT NULL DEFAULT '',
  "RecvType4" TEXT NOT NULL DEFAULT '',
  "RecvType5" TEXT NOT NULL DEFAULT '',
  "ReqAck" INTEGER NOT NULL DEFAULT 0,
  "ReqAckWait" INTEGER NOT NULL DEFAULT 0,
  "ReqAckMaxRem" INTEGER NOT NULL DEFAULT 0,
  "RemindTimer" INTEGER NOT NULL DEFAULT 0,
  "RemindOnce" INTEGER NOT NULL DEFAULT 0,
  "EscalateWhenExp" INTEGER NOT NULL DEFAULT 0,
  "SendMessWhenExp" INTEGER NOT NULL DEFAULT 0,
  "NewPriority" TEXT NOT NULL DEFAULT '',
  "NewNodeName" TEXT NOT NULL DEFAULT '',
  "NewMessage" TEXT NOT NULL DEFAULT '',
  "MessageUp" TEXT NOT NULL DEFAULT '',
  "SendMessWhenUp" INTEGER NOT NULL DEFAULT 0,
  "ReqAckNoAck" INTEGER NOT NULL DEFAULT 0,
  "ReqAckRunProg" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "SuppGrp_Jour" (
  "Date" TEXT NOT NULL DEFAULT '',
  "Time" TEXT NOT NULL DEFAULT '',
  "SupportGroup" TEXT NOT NULL DEFAULT '',
  "RecvName1" TEXT NOT NULL DEFAULT '',
  "RecvType1" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "SuppGrp_SendMess" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Message" TEXT NOT NULL DEFAULT '',
  "SendToAllGroups" INTEGER NOT NULL DEFAULT 0
);

-- rows: many
CREATE TABLE "Recv_Phone_MO" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "BufferMessages" INTEGER NOT NULL DEFAULT 0,
  "PhoneNumber" TEXT NOT NULL DEFAULT '',
  "Operator" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Recv_Phone_Dialup" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "BufferMessages" INTEGER NOT NULL DEFAULT 0,
  "PhoneNumber" TEXT NOT NULL DEFAULT '',
  "Operator" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Recv_Pager_Alfa" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "BufferMessages" INTEGER NOT NULL DEFAULT 0,
  "PagerNumber" TEXT NOT NULL DEFAULT '',
  "Operator" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Recv_Pager_Num" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "BufferMessages" INTEGER NOT NULL DEFAULT 0,
  "PagerNumber" TEXT NOT NULL DEFAULT '',
  "MoCalling" INTEGER NOT NULL DEFAULT 0,
  "SendCode" TEXT NOT NULL DEFAULT '',
  "DelayTime" INTEGER NOT NULL DEFAULT 0
);

-- rows: many
CREATE TABLE "Recv_Mail_SMTP" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "MailAddress" TEXT NOT NULL DEFAULT '',
  "MailServer1" TEXT NOT NULL DEFAULT '',
  "MailServer2" TEXT NOT NULL DEFAULT '',
  "UseMailServer2" INTEGER NOT NULL DEFAULT 0
);

-- rows: many
CREATE TABLE "Recv_Popup_NETSEND" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Enabled" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeMon" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeTue" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeWed" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeThu" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeFri" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSat" INTEGER NOT NULL DEFAULT 0,
  "DutyTimeSun" INTEGER NOT NULL DEFAULT 0,
  "WinAddress" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Receiver_Test" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Type" TEXT NOT NULL DEFAULT '',
  "Operator" TEXT NOT NULL DEFAULT '',
  "Address" TEXT NOT NULL DEFAULT '',
  "Message" TEXT NOT NULL DEFAULT '',
  "PagerNumMoCall" INTEGER NOT NULL DEFAULT 0,
  "PagerNumCode" TEXT NOT NULL DEFAULT '',
  "PagerNumDelay" INTEGER NOT NULL DEFAULT 0
);

-- rows: one
CREATE TABLE "Settings_Modem" (
  "CommPort" INTEGER NOT NULL DEFAULT 0,
  "DialPrefix" TEXT NOT NULL DEFAULT '',
  "TimeOut" INTEGER NOT NULL DEFAULT 0,
  "Retries" INTEGER NOT NULL DEFAULT 0,
  "Originator" TEXT NOT NULL DEFAULT '',
  "ModemInitString" TEXT NOT NULL DEFAULT '',
  "ModemSpeed" TEXT NOT NULL DEFAULT '',
  "ModemSettings" TEXT NOT NULL DEFAULT '',
  "ModemCommDelays" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Settings_Oper_Phone_MO" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Protocol" TEXT NOT NULL DEFAULT '',
  "TerminalNumber" TEXT NOT NULL DEFAULT '',
  "ModemInitString" TEXT NOT NULL DEFAULT '',
  "ModemSpeed" TEXT NOT NULL DEFAULT '',
  "ModemSettings" TEXT NOT NULL DEFAULT '',
  "MaxChar" INTEGER NOT NULL DEFAULT 0,
  "CharSet" TEXT NOT NULL DEFAULT '',
  "MessagePrefix" INTEGER NOT NULL DEFAULT 0,
  "PrefixText" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "Settings_Oper_Phone_Dialup" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Protocol" TEXT NOT NULL DEFAULT '',
  "TerminalNumber" TEXT NOT NULL DEFAULT '',
  "ModemInitString" TEXT NOT NULL DEFAULT '',
  "ModemSpeed" TEXT NOT NULL DEFAULT '',
  "ModemSettings" TEXT NOT NULL DEFAULT '',
  "LogonID" TEXT NOT NULL DEFAULT '',
  "LogonPassword" TEXT NOT NULL DEFAULT '',
  "MaxChar" INTEGER NOT NULL DEFAULT 0,
  "CharSet" TEXT NOT NULL DEFAULT '',
  "WaitAfterConnect" INTEGER NOT NULL DEFAULT 0,
  "ConfirmedDelivery" INTEGER NOT NULL DEFAULT 0
);

-- rows: many
CREATE TABLE "Settings_Oper_Pager_Alfa" (
  "Name" TEXT NOT NULL DEFAULT '',
  "Protocol" TEXT NOT NULL DEFAULT '',
  "TerminalNumber" TEXT NOT NULL DEFAULT '',
  "ModemInitString" TEXT NOT NULL DEFAULT '',
  "ModemSpeed" TEXT NOT NULL DEFAULT '',
  "ModemSettings" TEXT NOT NULL DEFAULT '',
  "LogonID" TEXT NOT NULL DEFAULT '',
  "LogonPassword" TEXT NOT NULL DEFAULT '',
  "MaxChar" INTEGER NOT NULL DEFAULT 0,
  "CharSet" TEXT NOT NULL DEFAULT '',
  "WaitAfterConnect" INTEGER NOT NULL DEFAULT 0
);

-- rows: many
CREATE TABLE "Settings_Mail_SMTP" (
  "Name" TEXT NOT NULL DEFAULT '',
  "HostAddress" TEXT NOT NULL DEFAULT '',
  "MailPort" INTEGER NOT NULL DEFAULT 0,
  "SenderAddress" TEXT NOT NULL DEFAULT '',
  "CharSet" TEXT NOT NULL DEFAULT '',
  "UseAuth" INTEGER NOT NULL DEFAULT 0,
  "AuthMode" TEXT NOT NULL DEFAULT '',
  "Account" TEXT NOT NULL DEFAULT '',
  "Passw" TEXT NOT NULL DEFAULT '',
  "MailSubject" TEXT NOT NULL DEFAULT '',
  "Importance" TEXT NOT NULL DEFAULT '',
  "TimeOut" INTEGER NOT NULL DEFAULT 0,
  "MaxChar" INTEGER NOT NULL DEFAULT 0,
  "Retries" INTEGER NOT NULL DEFAULT 0
);

-- rows: many
CREATE TABLE "LogFiles_Event" (
  "Index" INTEGER NOT NULL DEFAULT 0,
  "DateAndTime" TEXT NOT NULL DEFAULT '',
  "Priority" TEXT NOT NULL DEFAULT '',
  "NodeName" TEXT NOT NULL DEFAULT '',
  "Message" TEXT NOT NULL DEFAULT '',
  "EventSource" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "LogFiles_Alarm" (
  "Index" INTEGER NOT NULL DEFAULT 0,
  "DateAndTime" TEXT NOT NULL DEFAULT '',
  "Receiver" TEXT NOT NULL DEFAULT '',
  "Message" TEXT NOT NULL DEFAULT '',
  "SendStatus" TEXT NOT NULL DEFAULT '',
  "SendStatusInt" INTEGER NOT NULL DEFAULT 0,
  "SendType" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "LogFiles_ReqAck" (
  "Indexx" INTEGER NOT NULL DEFAULT 0,
  "DateAndTime" TEXT NOT NULL DEFAULT '',
  "AlarmID" INTEGER NOT NULL DEFAULT 0,
  "Receiver" TEXT NOT NULL DEFAULT '',
  "AckStatus" INTEGER NOT NULL DEFAULT 0,
  "AckInfo" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "LogFiles_Action" (
  "Index" INTEGER NOT NULL DEFAULT 0,
  "CaseNr" INTEGER NOT NULL DEFAULT 0,
  "DateAndTime" TEXT NOT NULL DEFAULT '',
  "EstimatedOK" TEXT NOT NULL DEFAULT '',
  "MessageInternal" TEXT NOT NULL DEFAULT '',
  "MessageExternal" TEXT NOT NULL DEFAULT '',
  "Signature" TEXT NOT NULL DEFAULT '',
  "CaseStatus" TEXT NOT NULL DEFAULT ''
);

-- rows: many
CREATE TABLE "LogFiles_Maintenance" (
  "Index" INTEGER NOT NULL DEFAULT 0,
  "DateAndTime" TEXT NOT NULL DEFAULT '',
  "EstimatedOK" TEXT NOT NULL DEFAULT '',
  "MessageInternal" TEXT NOT NULL DEFAULT '',
  "MessageExternal" TEXT NOT NULL DEFAULT '',
  "Signature" TEXT NOT NULL DEFAULT ''
);

-- rows: one
CREATE TABLE "LogFiles_WebLayout" (
  "EventEntriesFirst" INTEGER NOT NULL DEFAULT 0,
  "AlarmEntriesFirst" INTEGER NOT NULL DEFAULT 0,
  "ActionEntriesFirst" INTEGER NOT NULL DEFAULT 0,
  "EventEntriesLog" INTEGER NOT NULL DEFAULT 0,
  "AlarmEntriesLog" INTEGER NOT NULL DEFAULT 0,
  "ActionEntriesLog" INTEGER NOT NULL DEFAULT 0,
  "FontName" TEXT NOT NULL DEFAULT '',
  "FontSize" INTEGER NOT NULL DEFAULT 0,
  "TimeWidth" INTEGER NOT NULL DEFAULT 0,
  "IdWidth" INTEGER NOT NULL DEFAULT 0,
  "SourceWidth" INTEGER NOT NULL DEFAULT 0,
  "ReceiverWidth" INTEGER NOT NULL DEFAULT 0,
  "MessageWidth" INTEGER NOT NULL DEFAULT 0,
  "StatusWidth" INTEGER NOT NULL DEFAULT 0,
  "TimeFormat" TEXT NOT NULL DEFAULT '',
  "IdMaxChar" INTEGER NOT NULL DEFAULT 0,
  "SourceMaxChar" INTEGER NOT NULL DEFAULT 0,
  "ReceiverMaxChar" INTEGER NOT NULL DEFAULT 0,
  "MessageMaxChar" INTEGER NOT NULL DEFAULT 0,
  "StatusMaxChar" INTEGER NOT NULL DEFAULT 0
);

-- rows: one
CREATE TABLE "LogFiles_WebServer" (
  "TransferLogFiles" INTEGER NOT NULL DEFAULT 0,
  "FtpServer" TEXT NOT NULL DEFAULT '',
  "FtpPort" INTEGER NOT NULL DEFAULT 0,
  "UserName" TEXT NOT NULL DEFAULT '',
  "Password2" TEXT NOT NULL DEFAULT '',
  "PassiveTransfer" INTEGER NOT NULL DEFAULT 0,
  "TransferMode" TEXT NOT NULL DEFAULT '',
  "TimeOut" INTEGER NOT NULL DEFAULT 0,
  "Retries" INTEGER NOT NULL DEFAULT 0,
  "RemoteDir" TEXT NOT NULL DEFAULT ''
);
)varnel_schema";
}
