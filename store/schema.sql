-- The tables of a new, empty orvoDisk.db. The service never runs this; the admin tool and the
-- tests create a database file from it. No uniqueness constraints: the service keeps class names
-- unique by its own tests, and adding a list skips a student it names twice.

CREATE TABLE [Users]
(
[Id] INTEGER PRIMARY KEY,
[UserId] TEXT,
[UserName] TEXT,
[PassWord] TEXT,
[GroupName] TEXT
);

CREATE TABLE [Groups]
(
[GroupName] TEXT
);

CREATE TABLE [Setting]
(
[RootPath] TEXT,
[PublicPath] TEXT,
[GroupList] INTEGER,
[UserList] INTEGER,
[AutoRun] INTEGER
);

CREATE TABLE [TimeTable]
(
[Id] INTEGER PRIMARY KEY AUTOINCREMENT,
[Week] INTEGER,
[BeginTime] DATETIME,
[EndTime] DATETIME,
[GroupName] VARCHAR(36),
[ServerIP] VARCHAR(36),
[ServerPort] INTEGER
);

-- The list add reads one class through it, the login look-up finds one student.
CREATE INDEX [UsersByGroupAndName] ON [Users] ([GroupName], [UserName]);
CREATE INDEX [UsersByGroupAndId] ON [Users] ([GroupName], [UserId]);
CREATE INDEX [GroupsByName] ON [Groups] ([GroupName]);

-- Options beyond the five settings; a missing row means the option's default.
CREATE TABLE [Options]
(
[Name] TEXT PRIMARY KEY,
[Value] TEXT
);
