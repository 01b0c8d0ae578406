-- syslog.db of the sample workstation: the application's event log.
-- Build it with: sqlite3 syslog.db < syslog.sql
begin transaction;
create table log(id integer primary key, time text, level integer, user text, message text);
insert into log values(1, '2023-11-14 07:45:02', 0, 'OP1', 'start-up self test passed');
insert into log values(2, '2023-11-14 07:52:40', 1, 'OP1', 'reagent PT low: 2 mL left');
insert into log values(3, '2023-11-15 07:44:10', 0, 'OP1', 'start-up self test passed');
commit;
