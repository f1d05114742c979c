-- Tables the staff-schedule component reads. Dates are stored as text
-- 'YYYY-MM-DD HH:MM:SS'. Every statement can be run again on an existing
-- database without harm.

CREATE TABLE IF NOT EXISTS personDuty (
  dutyID INTEGER PRIMARY KEY,
  dutyName TEXT
);

CREATE TABLE IF NOT EXISTS person (
  personID INTEGER PRIMARY KEY,
  personName TEXT,
  dutyID INTEGER,
  systemID INTEGER
);

CREATE TABLE IF NOT EXISTS planAddrType (
  planAddrTypeID INTEGER PRIMARY KEY,
  planAddrTypeName TEXT
);

-- planAddrTypeID lets a host form offer the places of one kind; the
-- component's queries do not read it.
CREATE TABLE IF NOT EXISTS planAddr (
  planAddrID INTEGER PRIMARY KEY,
  planAddrName TEXT,
  planAddrTypeID INTEGER
);

-- AUTOINCREMENT: the id of a deleted plan is never given to a new one, so
-- that calendar clients never see one plan turn into another.
CREATE TABLE IF NOT EXISTS personPlan (
  planID INTEGER PRIMARY KEY AUTOINCREMENT,
  personID INTEGER NOT NULL,
  planStartTime DATETIME,
  planEndTime DATETIME,
  planAddrTypeID INTEGER,
  planAddrID INTEGER,
  planAddrDetail TEXT,
  planTypeID INTEGER,
  planContent TEXT,
  planAddition TEXT,
  planFlagID INTEGER
);

CREATE INDEX IF NOT EXISTS personPlan_person_start ON personPlan (personID, planStartTime);

-- Sign-in accounts of the web host: one Argon2id hash (libsodium's string
-- form, salt and limits included) per person who may sign in, and the
-- generation of the person's sessions (raising it ends them all).
CREATE TABLE IF NOT EXISTS hostAccount (
  personID INTEGER PRIMARY KEY,
  passwordHash TEXT NOT NULL,
  sessionGeneration INTEGER NOT NULL DEFAULT 0
);

-- Settings of the web host by name; 'sessionGeneration' ends everybody's
-- sessions when raised.
CREATE TABLE IF NOT EXISTS hostSetting (
  name TEXT PRIMARY KEY,
  value INTEGER NOT NULL
);

-- Personal tokens of the web host, one of each purpose per person: 'feed'
-- is the secret part of the person's calendar feed addresses, derived from
-- the seed and the server's secret key so that the subscribe page can show
-- it again; 'api' is the bearer token of programs, shown once, without a
-- seed. Only a SHA-256 hash of a token is stored. createdAt is UTC.
CREATE TABLE IF NOT EXISTS hostToken (
  tokenHash TEXT PRIMARY KEY,
  personID INTEGER NOT NULL,
  purpose TEXT NOT NULL,
  seed TEXT,
  createdAt DATETIME NOT NULL,
  UNIQUE (personID, purpose)
);

-- The changes the host made to plans (the day editor, import-plans): a
-- counter and when it last changed (UTC), and when it last changed while
-- colleagues could see it (shared before or after the change). A row stays
-- when its plan is deleted, so that a feed's time of last change moves on.
CREATE TABLE IF NOT EXISTS hostPlanChange (
  planID INTEGER PRIMARY KEY,
  personID INTEGER NOT NULL,
  revision INTEGER NOT NULL,
  changedAt DATETIME NOT NULL,
  sharedChangedAt DATETIME
);

CREATE INDEX IF NOT EXISTS hostPlanChange_person ON hostPlanChange (personID);

-- Public holidays and the working days that make up for them, one row per
-- day, shown on every page: dayOff 1 for a day off, 0 for a working day (a
-- weekend day worked). demo 1 marks the demo set that `ostrand demo-db`
-- writes; an import replaces it for the years it covers.
CREATE TABLE IF NOT EXISTS hostHoliday (
  holidayDate DATE PRIMARY KEY,
  holidayName TEXT NOT NULL,
  dayOff INTEGER NOT NULL,
  demo INTEGER NOT NULL DEFAULT 0
);

-- Plans deleted in the day editor, kept for a while so that the delete can
-- be undone: the row as it was in personPlan, and when it was deleted.
CREATE TABLE IF NOT EXISTS hostDeletedPlan (
  deletedID INTEGER PRIMARY KEY,
  deletedAt DATETIME NOT NULL,
  planID INTEGER NOT NULL,
  personID INTEGER NOT NULL,
  planStartTime DATETIME,
  planEndTime DATETIME,
  planAddrTypeID INTEGER,
  planAddrID INTEGER,
  planAddrDetail TEXT,
  planTypeID INTEGER,
  planContent TEXT,
  planAddition TEXT,
  planFlagID INTEGER
);

CREATE INDEX IF NOT EXISTS hostDeletedPlan_person ON hostDeletedPlan (personID, deletedAt);

-- Administrators of the web host: who may manage persons, departments,
-- duties, places and accounts, apart from any leading duty.
CREATE TABLE IF NOT EXISTS hostAdmin (
  personID INTEGER PRIMARY KEY,
  grantedAt DATETIME NOT NULL,
  grantedBy INTEGER
);

-- Persons who left: they keep their plans, but no longer sign in or show
-- in pickers and lists. A person is never deleted, so that an id is never
-- given twice.
CREATE TABLE IF NOT EXISTS hostRetiredPerson (
  personID INTEGER PRIMARY KEY,
  retiredAt DATETIME NOT NULL,
  retiredBy INTEGER
);

-- The names of the departments (person.systemID).
CREATE TABLE IF NOT EXISTS hostDepartment (
  systemID INTEGER PRIMARY KEY,
  departmentName TEXT NOT NULL
);

-- The order of the duties (personDuty) and whether each leads. A duty
-- without a row is ordered by its id and leads when its id is one of the
-- built-in leading duties.
CREATE TABLE IF NOT EXISTS hostDuty (
  dutyID INTEGER PRIMARY KEY,
  dutyOrder INTEGER NOT NULL,
  leads INTEGER NOT NULL
);

-- Signed-in sessions, so that a person can see and end them: the key is
-- the hex SHA-256 of the session's random item; an ended session keeps
-- its row (endedAt set) until it would have expired. Times are UTC.
CREATE TABLE IF NOT EXISTS hostSession (
  sessionKey TEXT PRIMARY KEY,
  personID INTEGER NOT NULL,
  startedAt DATETIME NOT NULL,
  expiresAt DATETIME NOT NULL,
  lastSeenAt DATETIME NOT NULL,
  address TEXT,
  agent TEXT,
  endedAt DATETIME
);

CREATE INDEX IF NOT EXISTS hostSession_person ON hostSession (personID);

-- What was done to persons, accounts and the host's settings, and every
-- sign-in: when (UTC), by whom, what kind, to whom, a short detail, and
-- from which address.
CREATE TABLE IF NOT EXISTS hostAudit (
  auditID INTEGER PRIMARY KEY AUTOINCREMENT,
  at DATETIME NOT NULL,
  actorID INTEGER,
  kind TEXT NOT NULL,
  subjectID INTEGER,
  detail TEXT NOT NULL,
  address TEXT
);

CREATE INDEX IF NOT EXISTS hostAudit_at ON hostAudit (at);

-- Who signs in through an OpenID provider or a directory: the key is the
-- hex SHA-256 of the issuer, a zero byte and the subject (the provider's
-- "sub", the directory entry's DN); personID is NULL while the identity
-- waits for an administrator to link it to a person. claimValue and
-- displayName are what the provider or directory last said. Times are UTC.
CREATE TABLE IF NOT EXISTS hostIdentity (
  identityKey TEXT PRIMARY KEY,
  issuer TEXT NOT NULL,
  subject TEXT NOT NULL,
  personID INTEGER,
  claimValue TEXT,
  displayName TEXT,
  firstSeenAt DATETIME NOT NULL,
  lastSeenAt DATETIME NOT NULL
);

CREATE INDEX IF NOT EXISTS hostIdentity_person ON hostIdentity (personID);

-- The second factor of local accounts: the one-time-code secret, sealed
-- with the server's key; confirmedAt is NULL until a first code proved
-- the enrolment; lastStep is the time step of the last code taken, so
-- that no code is taken twice.
CREATE TABLE IF NOT EXISTS hostSecondFactor (
  personID INTEGER PRIMARY KEY,
  secret TEXT NOT NULL,
  enrolledAt DATETIME NOT NULL,
  confirmedAt DATETIME,
  lastStep INTEGER
);

-- One-use recovery codes of the second factor: only a SHA-256 hash of a
-- code is stored; usedAt is set when it is used.
CREATE TABLE IF NOT EXISTS hostRecoveryCode (
  codeHash TEXT PRIMARY KEY,
  personID INTEGER NOT NULL,
  createdAt DATETIME NOT NULL,
  usedAt DATETIME
);

CREATE INDEX IF NOT EXISTS hostRecoveryCode_person ON hostRecoveryCode (personID);

-- Sign-ins under way at an OpenID provider: the hex SHA-256 of each
-- `state` handed out, removed when its answer comes back, so that an
-- answer is taken once.
CREATE TABLE IF NOT EXISTS hostSignInState (
  stateHash TEXT PRIMARY KEY,
  createdAt DATETIME NOT NULL,
  expiresAt DATETIME NOT NULL
);

CREATE INDEX IF NOT EXISTS hostSignInState_expires ON hostSignInState (expiresAt);

-- Events that calendar programs wrote over CalDAV into a person's own
-- calendar: the resource's name, the event's UID, and the calendar text as
-- the program sent it, so that what a plan cannot hold (alarms, attendees,
-- the rule of a recurring event) is given back. The plans it became are in
-- hostObjectPlan. Times are UTC.
CREATE TABLE IF NOT EXISTS hostCalendarObject (
  objectID INTEGER PRIMARY KEY AUTOINCREMENT,
  personID INTEGER NOT NULL,
  objectName TEXT NOT NULL,
  uid TEXT NOT NULL,
  calendarText TEXT NOT NULL,
  createdAt DATETIME NOT NULL,
  changedAt DATETIME NOT NULL,
  UNIQUE (personID, objectName),
  UNIQUE (personID, uid)
);

-- The plans of a calendar object, one row per plan: recurrenceID names the
-- instance of a recurring event (its original start as iCalendar text), ''
-- for the one plan of a single event.
CREATE TABLE IF NOT EXISTS hostObjectPlan (
  planID INTEGER PRIMARY KEY,
  objectID INTEGER NOT NULL,
  recurrenceID TEXT NOT NULL
);

CREATE INDEX IF NOT EXISTS hostObjectPlan_object ON hostObjectPlan (objectID);

-- Every change of a person's calendar resources, numbered in the order of
-- the commits' writes: the sync tokens of calendar programs. planID names
-- the plan changed, objectID the calendar object (either may be NULL) and
-- objectName its resource name then, so that a removed object is still named;
-- seenByColleagues says whether colleagues' calendars changed with it.
CREATE TABLE IF NOT EXISTS hostCalendarChange (
  changeNumber INTEGER PRIMARY KEY AUTOINCREMENT,
  personID INTEGER NOT NULL,
  planID INTEGER,
  objectID INTEGER,
  objectName TEXT,
  seenByColleagues INTEGER NOT NULL,
  changedAt DATETIME NOT NULL
);

CREATE INDEX IF NOT EXISTS hostCalendarChange_person ON hostCalendarChange (personID, changeNumber);

-- App passwords of calendar programs: only a SHA-256 hash is stored, with
-- the name the person gave it; a person's names are unique. Times are UTC.
CREATE TABLE IF NOT EXISTS hostAppPassword (
  passwordHash TEXT PRIMARY KEY,
  personID INTEGER NOT NULL,
  name TEXT NOT NULL,
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
CREATE TABLE IF NOT EXISTS hostEvent (
  eventID INTEGER PRIMARY KEY AUTOINCREMENT,
  eventKey TEXT NOT NULL UNIQUE,
  kind TEXT NOT NULL,
  personID INTEGER,
  actorID INTEGER,
  shared INTEGER NOT NULL,
  body TEXT NOT NULL,
  createdAt DATETIME NOT NULL,
  fannedOut INTEGER NOT NULL DEFAULT 0,
  leaseUntil DATETIME
);

CREATE INDEX IF NOT EXISTS hostEvent_pending ON hostEvent (fannedOut, eventID);

-- One delivery of the outbox: an event to a webhook receiver (channel
-- 'webhook', receiverID), or a mail to a person (channel 'mail',
-- personID, mailKind) that may gather several events (hostDeliveryEvent).
-- status is 'pending', 'delivered' or 'failed'; a server that sends it
-- holds it until leaseUntil (leaseOwner names the server); a failed
-- attempt sets nextAttemptAt later. lastStatus is the receiver's HTTP
-- status or the mail server's reply code, lastError what went wrong.
-- body holds what is sent when it is fixed when queued (a mail of an
-- invitation); it is emptied once the delivery ends. Times are UTC.
CREATE TABLE IF NOT EXISTS hostDelivery (
  deliveryID INTEGER PRIMARY KEY AUTOINCREMENT,
  eventID INTEGER,
  channel TEXT NOT NULL,
  receiverID INTEGER,
  personID INTEGER,
  mailKind TEXT,
  status TEXT NOT NULL,
  attempts INTEGER NOT NULL DEFAULT 0,
  createdAt DATETIME NOT NULL,
  nextAttemptAt DATETIME NOT NULL,
  leaseOwner TEXT,
  leaseUntil DATETIME,
  lastAttemptAt DATETIME,
  lastStatus INTEGER,
  lastError TEXT,
  deliveredAt DATETIME,
  body TEXT
);

CREATE INDEX IF NOT EXISTS hostDelivery_due ON hostDelivery (status, nextAttemptAt);
CREATE INDEX IF NOT EXISTS hostDelivery_receiver ON hostDelivery (receiverID, deliveryID);

-- The events a mail gathers (the changes of ten minutes in one mail).
CREATE TABLE IF NOT EXISTS hostDeliveryEvent (
  deliveryID INTEGER NOT NULL,
  eventID INTEGER NOT NULL,
  PRIMARY KEY (deliveryID, eventID)
);

-- Webhook receivers: where events are POSTed, with the secret they are
-- signed with (whsec_ and base64, as receivers are given it), the kinds of
-- event wanted (a comma list of hostEvent kinds), whether private entries
-- are sent too, the body's format ('json', or 'chat' for chat programs'
-- incoming webhooks: a `text` field), the hour of the daily 'away.today'
-- list (NULL: none), whether it is active, and who set it up ('admin', or
-- 'command line' for `serve --webhook`). Times are UTC.
CREATE TABLE IF NOT EXISTS hostWebhook (
  receiverID INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL,
  url TEXT NOT NULL,
  secret TEXT NOT NULL,
  kinds TEXT NOT NULL,
  private INTEGER NOT NULL,
  format TEXT NOT NULL,
  awayHour INTEGER,
  active INTEGER NOT NULL,
  origin TEXT NOT NULL,
  createdAt DATETIME NOT NULL
);

-- A person's mail address, set by an administrator or the person, and
-- the language of the mails ('zh' or 'en').
CREATE TABLE IF NOT EXISTS hostMailAddress (
  personID INTEGER PRIMARY KEY,
  address TEXT NOT NULL,
  language TEXT NOT NULL,
  changedAt DATETIME NOT NULL
);

-- The mails a person asked for: 'changes' (when someone else changes the
-- person's plans), 'weekly' (a leader's summary of next week), 'away'
-- (a leader's daily list of who is away).
CREATE TABLE IF NOT EXISTS hostMailChoice (
  personID INTEGER NOT NULL,
  choice TEXT NOT NULL,
  chosenAt DATETIME NOT NULL,
  PRIMARY KEY (personID, choice)
);
