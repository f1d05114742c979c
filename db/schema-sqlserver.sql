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
