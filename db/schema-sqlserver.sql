-- Tables the staff-schedule component reads, for SQL Server (T-SQL, run
-- through ODBC, e.g. with FreeTDS). Each table is created only when it is
-- missing, so the script can be run again on an existing database.

IF OBJECT_ID(N'personDuty', N'U') IS NULL
CREATE TABLE personDuty (
  dutyID BIGINT PRIMARY KEY,
  dutyName NVARCHAR(100)
);

IF OBJECT_ID(N'person', N'U') IS NULL
CREATE TABLE person (
  personID BIGINT PRIMARY KEY,
  personName NVARCHAR(100),
  dutyID BIGINT,
  systemID BIGINT
);

IF OBJECT_ID(N'planAddrType', N'U') IS NULL
CREATE TABLE planAddrType (
  planAddrTypeID BIGINT PRIMARY KEY,
  planAddrTypeName NVARCHAR(100)
);

IF OBJECT_ID(N'planAddr', N'U') IS NULL
CREATE TABLE planAddr (
  planAddrID BIGINT PRIMARY KEY,
  planAddrName NVARCHAR(200),
  planAddrTypeID BIGINT
);

-- IDENTITY never gives an id twice, also after a delete (as long as
-- nobody reseeds it).
IF OBJECT_ID(N'personPlan', N'U') IS NULL
CREATE TABLE personPlan (
  planID BIGINT IDENTITY(1,1) PRIMARY KEY,
  personID BIGINT NOT NULL,
  planStartTime DATETIME,
  planEndTime DATETIME,
  planAddrTypeID BIGINT,
  planAddrID BIGINT,
  planAddrDetail NVARCHAR(1000),
  planTypeID BIGINT,
  planContent NVARCHAR(4000),
  planAddition NVARCHAR(1000),
  planFlagID BIGINT
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'personPlan_person_start')
CREATE INDEX personPlan_person_start ON personPlan (personID, planStartTime);

-- Sign-in accounts of the web host: one Argon2id hash (libsodium's string
-- form, salt and limits included) per person who may sign in, and the
-- generation of the person's sessions (raising it ends them all).
IF OBJECT_ID(N'hostAccount', N'U') IS NULL
CREATE TABLE hostAccount (
  personID BIGINT PRIMARY KEY,
  passwordHash NVARCHAR(255) NOT NULL,
  sessionGeneration BIGINT NOT NULL DEFAULT 0
);

-- Settings of the web host by name; 'sessionGeneration' ends everybody's
-- sessions when raised.
IF OBJECT_ID(N'hostSetting', N'U') IS NULL
CREATE TABLE hostSetting (
  name NVARCHAR(100) PRIMARY KEY,
  value BIGINT NOT NULL
);

-- Personal tokens of the web host, one of each purpose per person: 'feed'
-- is the secret part of the person's calendar feed addresses, derived from
-- the seed and the server's secret key so that the subscribe page can show
-- it again; 'api' is the bearer token of programs, shown once, without a
-- seed. Only a SHA-256 hash of a token is stored. createdAt is UTC.
IF OBJECT_ID(N'hostToken', N'U') IS NULL
CREATE TABLE hostToken (
  tokenHash NVARCHAR(64) PRIMARY KEY,
  personID BIGINT NOT NULL,
  purpose NVARCHAR(16) NOT NULL,
  seed NVARCHAR(64),
  createdAt DATETIME NOT NULL,
  UNIQUE (personID, purpose)
);

-- The changes the host made to plans (the day editor, import-plans): a
-- counter and when it last changed (UTC), and when it last changed while
-- colleagues could see it (shared before or after the change). A row stays
-- when its plan is deleted, so that a feed's time of last change moves on.
IF OBJECT_ID(N'hostPlanChange', N'U') IS NULL
CREATE TABLE hostPlanChange (
  planID BIGINT PRIMARY KEY,
  personID BIGINT NOT NULL,
  revision BIGINT NOT NULL,
  changedAt DATETIME NOT NULL,
  sharedChangedAt DATETIME
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostPlanChange_person')
CREATE INDEX hostPlanChange_person ON hostPlanChange (personID);

-- Public holidays and the working days that make up for them, one row per
-- day, shown on every page: dayOff 1 for a day off, 0 for a working day (a
-- weekend day worked). demo 1 marks the demo set that `ostrand demo-db`
-- writes; an import replaces it for the years it covers.
IF OBJECT_ID(N'hostHoliday', N'U') IS NULL
CREATE TABLE hostHoliday (
  holidayDate DATE PRIMARY KEY,
  holidayName NVARCHAR(200) NOT NULL,
  dayOff BIGINT NOT NULL,
  demo BIGINT NOT NULL DEFAULT 0
);

-- Plans deleted in the day editor, kept for a while so that the delete can
-- be undone: the row as it was in personPlan, and when it was deleted.
IF OBJECT_ID(N'hostDeletedPlan', N'U') IS NULL
CREATE TABLE hostDeletedPlan (
  deletedID BIGINT IDENTITY(1,1) PRIMARY KEY,
  deletedAt DATETIME NOT NULL,
  planID BIGINT NOT NULL,
  personID BIGINT NOT NULL,
  planStartTime DATETIME,
  planEndTime DATETIME,
  planAddrTypeID BIGINT,
  planAddrID BIGINT,
  planAddrDetail NVARCHAR(1000),
  planTypeID BIGINT,
  planContent NVARCHAR(4000),
  planAddition NVARCHAR(1000),
  planFlagID BIGINT
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostDeletedPlan_person')
CREATE INDEX hostDeletedPlan_person ON hostDeletedPlan (personID, deletedAt);

-- Administrators of the web host: who may manage persons, departments,
-- duties, places and accounts, apart from any leading duty.
IF OBJECT_ID(N'hostAdmin', N'U') IS NULL
CREATE TABLE hostAdmin (
  personID BIGINT PRIMARY KEY,
  grantedAt DATETIME NOT NULL,
  grantedBy BIGINT
);

-- Persons who left: they keep their plans, but no longer sign in or show
-- in pickers and lists. A person is never deleted, so that an id is never
-- given twice.
IF OBJECT_ID(N'hostRetiredPerson', N'U') IS NULL
CREATE TABLE hostRetiredPerson (
  personID BIGINT PRIMARY KEY,
  retiredAt DATETIME NOT NULL,
  retiredBy BIGINT
);

-- The names of the departments (person.systemID).
IF OBJECT_ID(N'hostDepartment', N'U') IS NULL
CREATE TABLE hostDepartment (
  systemID BIGINT PRIMARY KEY,
  departmentName NVARCHAR(100) NOT NULL
);

-- The order of the duties (personDuty) and whether each leads. A duty
-- without a row is ordered by its id and leads when its id is one of the
-- built-in leading duties.
IF OBJECT_ID(N'hostDuty', N'U') IS NULL
CREATE TABLE hostDuty (
  dutyID BIGINT PRIMARY KEY,
  dutyOrder BIGINT NOT NULL,
  leads BIGINT NOT NULL
);

-- Signed-in sessions, so that a person can see and end them: the key is
-- the hex SHA-256 of the session's random item; an ended session keeps
-- its row (endedAt set) until it would have expired. Times are UTC.
IF OBJECT_ID(N'hostSession', N'U') IS NULL
CREATE TABLE hostSession (
  sessionKey NVARCHAR(64) PRIMARY KEY,
  personID BIGINT NOT NULL,
  startedAt DATETIME NOT NULL,
  expiresAt DATETIME NOT NULL,
  lastSeenAt DATETIME NOT NULL,
  address NVARCHAR(100),
  agent NVARCHAR(200),
  endedAt DATETIME
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostSession_person')
CREATE INDEX hostSession_person ON hostSession (personID);

-- What was done to persons, accounts and the host's settings, and every
-- sign-in: when (UTC), by whom, what kind, to whom, a short detail, and
-- from which address.
IF OBJECT_ID(N'hostAudit', N'U') IS NULL
CREATE TABLE hostAudit (
  auditID BIGINT IDENTITY(1,1) PRIMARY KEY,
  at DATETIME NOT NULL,
  actorID BIGINT,
  kind NVARCHAR(40) NOT NULL,
  subjectID BIGINT,
  detail NVARCHAR(1000) NOT NULL,
  address NVARCHAR(100)
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostAudit_at')
CREATE INDEX hostAudit_at ON hostAudit (at);

-- Who signs in through an OpenID provider or a directory: the key is the
-- hex SHA-256 of the issuer, a zero byte and the subject (the provider's
-- "sub", the directory entry's DN); personID is NULL while the identity
-- waits for an administrator to link it to a person. claimValue and
-- displayName are what the provider or directory last said. Times are UTC.
IF OBJECT_ID(N'hostIdentity', N'U') IS NULL
CREATE TABLE hostIdentity (
  identityKey NVARCHAR(64) PRIMARY KEY,
  issuer NVARCHAR(400) NOT NULL,
  subject NVARCHAR(255) NOT NULL,
  personID BIGINT,
  claimValue NVARCHAR(400),
  displayName NVARCHAR(400),
  firstSeenAt DATETIME NOT NULL,
  lastSeenAt DATETIME NOT NULL
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostIdentity_person')
CREATE INDEX hostIdentity_person ON hostIdentity (personID);

-- The second factor of local accounts: the one-time-code secret, sealed
-- with the server's key; confirmedAt is NULL until a first code proved
-- the enrolment; lastStep is the time step of the last code taken, so
-- that no code is taken twice.
IF OBJECT_ID(N'hostSecondFactor', N'U') IS NULL
CREATE TABLE hostSecondFactor (
  personID BIGINT PRIMARY KEY,
  secret NVARCHAR(400) NOT NULL,
  enrolledAt DATETIME NOT NULL,
  confirmedAt DATETIME,
  lastStep BIGINT
);

-- One-use recovery codes of the second factor: only a SHA-256 hash of a
-- code is stored; usedAt is set when it is used.
IF OBJECT_ID(N'hostRecoveryCode', N'U') IS NULL
CREATE TABLE hostRecoveryCode (
  codeHash NVARCHAR(64) PRIMARY KEY,
  personID BIGINT NOT NULL,
  createdAt DATETIME NOT NULL,
  usedAt DATETIME
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostRecoveryCode_person')
CREATE INDEX hostRecoveryCode_person ON hostRecoveryCode (personID);

-- Sign-ins under way at an OpenID provider: the hex SHA-256 of each
-- `state` handed out, removed when its answer comes back, so that an
-- answer is taken once.
IF OBJECT_ID(N'hostSignInState', N'U') IS NULL
CREATE TABLE hostSignInState (
  stateHash NVARCHAR(64) PRIMARY KEY,
  createdAt DATETIME NOT NULL,
  expiresAt DATETIME NOT NULL
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostSignInState_expires')
CREATE INDEX hostSignInState_expires ON hostSignInState (expiresAt);

-- Events that calendar programs wrote over CalDAV into a person's own
-- calendar: the resource's name, the event's UID, and the calendar text as
-- the program sent it, so that what a plan cannot hold (alarms, attendees,
-- the rule of a recurring event) is given back. The plans it became are in
-- hostObjectPlan. Times are UTC.
IF OBJECT_ID(N'hostCalendarObject', N'U') IS NULL
CREATE TABLE hostCalendarObject (
  objectID BIGINT IDENTITY(1,1) PRIMARY KEY,
  personID BIGINT NOT NULL,
  objectName NVARCHAR(255) NOT NULL,
  uid NVARCHAR(255) NOT NULL,
  calendarText NVARCHAR(MAX) NOT NULL,
  createdAt DATETIME NOT NULL,
  changedAt DATETIME NOT NULL,
  UNIQUE (personID, objectName),
  UNIQUE (personID, uid)
);

-- The plans of a calendar object, one row per plan: recurrenceID names the
-- instance of a recurring event (its original start as iCalendar text), ''
-- for the one plan of a single event.
IF OBJECT_ID(N'hostObjectPlan', N'U') IS NULL
CREATE TABLE hostObjectPlan (
  planID BIGINT PRIMARY KEY,
  objectID BIGINT NOT NULL,
  recurrenceID NVARCHAR(40) NOT NULL
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostObjectPlan_object')
CREATE INDEX hostObjectPlan_object ON hostObjectPlan (objectID);

-- Every change of a person's calendar resources, numbered in the order of
-- the commits' writes: the sync tokens of calendar programs. planID names
-- the plan changed, objectID the calendar object (either may be NULL) and
-- objectName its resource name then, so that a removed object is still named;
-- seenByColleagues says whether colleagues' calendars changed with it.
IF OBJECT_ID(N'hostCalendarChange', N'U') IS NULL
CREATE TABLE hostCalendarChange (
  changeNumber BIGINT IDENTITY(1,1) PRIMARY KEY,
  personID BIGINT NOT NULL,
  planID BIGINT,
  objectID BIGINT,
  objectName NVARCHAR(255),
  seenByColleagues INT NOT NULL,
  changedAt DATETIME NOT NULL
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostCalendarChange_person')
CREATE INDEX hostCalendarChange_person ON hostCalendarChange (personID, changeNumber);

-- App passwords of calendar programs: only a SHA-256 hash is stored, with
-- the name the person gave it; a person's names are unique. Times are UTC.
IF OBJECT_ID(N'hostAppPassword', N'U') IS NULL
CREATE TABLE hostAppPassword (
  passwordHash NVARCHAR(64) PRIMARY KEY,
  personID BIGINT NOT NULL,
  name NVARCHAR(100) NOT NULL,
  createdAt DATETIME NOT NULL,
  lastUsedAt DATETIME,
  UNIQUE (personID, name)
);

-- The outbox: what the site has to tell other programs and people, written
-- in the same transaction as the change it tells of, so that a change is
-- never committed without it. eventKey is the event's id for receivers
-- (the webhook-id); events that several servers may make at once (the
-- daily and weekly lists) have a key of their day, so that the second is
-- refused. kind names what happened ('plan.added', 'plan.changed',
-- 'plan.deleted', 'plan.restored', 'person.added', 'person.retired',
-- 'away.today', 'mail.invitation', 'mail.reset', ...), personID whom it is
-- about and actorID who did it (NULL: another program or the site
-- itself); shared says whether colleagues may see it. body is the event's
-- JSON. fannedOut turns 1 once the event's deliveries are made; a server
-- holds the event meanwhile until leaseUntil. Times are UTC.
IF OBJECT_ID(N'hostEvent', N'U') IS NULL
CREATE TABLE hostEvent (
  eventID BIGINT IDENTITY(1,1) PRIMARY KEY,
  eventKey NVARCHAR(200) NOT NULL UNIQUE,
  kind NVARCHAR(40) NOT NULL,
  personID BIGINT,
  actorID BIGINT,
  shared INT NOT NULL,
  body NVARCHAR(MAX) NOT NULL,
  createdAt DATETIME NOT NULL,
  fannedOut INT NOT NULL DEFAULT 0,
  leaseUntil DATETIME
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostEvent_pending')
CREATE INDEX hostEvent_pending ON hostEvent (fannedOut, eventID);

-- One delivery of the outbox: an event to a webhook receiver (channel
-- 'webhook', receiverID), or a mail to a person (channel 'mail',
-- personID, mailKind) that may gather several events (hostDeliveryEvent).
-- status is 'pending', 'delivered' or 'failed'; a server that sends it
-- holds it until leaseUntil (leaseOwner names the server); a failed
-- attempt sets nextAttemptAt later. lastStatus is the receiver's HTTP
-- status or the mail server's reply code, lastError what went wrong.
-- body holds what is sent when it is fixed when queued (a mail of an
-- invitation); it is emptied once the delivery ends. Times are UTC.
IF OBJECT_ID(N'hostDelivery', N'U') IS NULL
CREATE TABLE hostDelivery (
  deliveryID BIGINT IDENTITY(1,1) PRIMARY KEY,
  eventID BIGINT,
  channel NVARCHAR(10) NOT NULL,
  receiverID BIGINT,
  personID BIGINT,
  mailKind NVARCHAR(20),
  status NVARCHAR(10) NOT NULL,
  attempts INT NOT NULL DEFAULT 0,
  createdAt DATETIME NOT NULL,
  nextAttemptAt DATETIME NOT NULL,
  leaseOwner NVARCHAR(100),
  leaseUntil DATETIME,
  lastAttemptAt DATETIME,
  lastStatus INT,
  lastError NVARCHAR(1000),
  deliveredAt DATETIME,
  body NVARCHAR(MAX)
);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostDelivery_due')
CREATE INDEX hostDelivery_due ON hostDelivery (status, nextAttemptAt);

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'hostDelivery_receiver')
CREATE INDEX hostDelivery_receiver ON hostDelivery (receiverID, deliveryID);

-- The events a mail gathers (the changes of ten minutes in one mail).
IF OBJECT_ID(N'hostDeliveryEvent', N'U') IS NULL
CREATE TABLE hostDeliveryEvent (
  deliveryID BIGINT NOT NULL,
  eventID BIGINT NOT NULL,
  PRIMARY KEY (deliveryID, eventID)
);

-- Webhook receivers: where events are POSTed, with the secret they are
-- signed with (whsec_ and base64, as receivers are given it), the kinds of
-- event wanted (a comma list of hostEvent kinds), whether private entries
-- are sent too, the body's format ('json', or 'chat' for chat programs'
-- incoming webhooks: a `text` field), the hour of the daily 'away.today'
-- list (NULL: none), whether it is active, and who set it up ('admin', or
-- 'command line' for `serve --webhook`). Times are UTC.
IF OBJECT_ID(N'hostWebhook', N'U') IS NULL
CREATE TABLE hostWebhook (
  receiverID BIGINT IDENTITY(1,1) PRIMARY KEY,
  name NVARCHAR(100) NOT NULL,
  url NVARCHAR(2000) NOT NULL,
  secret NVARCHAR(200) NOT NULL,
  kinds NVARCHAR(400) NOT NULL,
  private INT NOT NULL,
  format NVARCHAR(10) NOT NULL,
  awayHour INT,
  active INT NOT NULL,
  origin NVARCHAR(20) NOT NULL,
  createdAt DATETIME NOT NULL
);

-- A person's mail address, set by an administrator or the person, and
-- the language of the mails ('zh' or 'en').
IF OBJECT_ID(N'hostMailAddress', N'U') IS NULL
CREATE TABLE hostMailAddress (
  personID BIGINT PRIMARY KEY,
  address NVARCHAR(320) NOT NULL,
  language NVARCHAR(10) NOT NULL,
  changedAt DATETIME NOT NULL
);

-- The mails a person asked for: 'changes' (when someone else changes the
-- person's plans), 'weekly' (a leader's summary of next week), 'away'
-- (a leader's daily list of who is away).
IF OBJECT_ID(N'hostMailChoice', N'U') IS NULL
CREATE TABLE hostMailChoice (
  personID BIGINT NOT NULL,
  choice NVARCHAR(20) NOT NULL,
  chosenAt DATETIME NOT NULL,
  PRIMARY KEY (personID, choice)
);
