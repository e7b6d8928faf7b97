-- The golden family: small, and shaped so that every rule of the populate
-- script shows in its goldens.  rel1 and rel3 go in the release archive;
-- level lvl1 of rel2 goes in the level archive, with the four tracks held
-- after it; rel4 stays.
--
-- Release archive: defect 1 has tracks in both rel1 and rel3 and is written
-- once.  Source 100 is shared by rel1's file 11, rel2's file 22 and rel4's
-- file 41; rel4's version 1003 is not archived.  Track 101 changed file 19,
-- whose Files row is gone (source 900 destroyed).  Level r1l2 has no commit
-- date.
--
-- Level archive: track 201 of lvl1 changed file 22 at 1004 (after rel1's
-- 1002), file 23 at 5002 and the destroyed file 29.  Of the held tracks,
-- 211 changed file 22 at 1002, older than 1004: taken.  212 changed file 23
-- at 5002 itself: not taken; nor 213 (a source nothing collected), nor 214,
-- whose first change in cursor order (file 23) decides.
--
-- Components: 5 hangs below 4, 3 and component 2 (the root); 7 below 2;
-- 9 is a parent of the root and 8 of 9.  Users: 0 names rel2 and is never
-- archived; 1 is the family login, renumbered; 3 has an empty configured
-- phone; 4 has neither name nor area.  Sequence names other than general,
-- defect and source are counted, not written.  A configured value of d1
-- holds what an Informix here-document must pass through unchanged.
ALTER TABLE DEFECTS ADD COLUMN PRIO VARCHAR(32);
ALTER TABLE DEFECTS ADD COLUMN CUST VARCHAR(64);
ALTER TABLE DEFECTS ADD COLUMN RETIRED VARCHAR(8);
ALTER TABLE DEFECTS ADD COLUMN PLAT VARCHAR(32);
ALTER TABLE DEFECTS ADD COLUMN OSNAME VARCHAR(32);
ALTER TABLE DEFECTS ADD COLUMN BUILD VARCHAR(32);
ALTER TABLE USERS ADD COLUMN PHONE VARCHAR(32);
ALTER TABLE FILES ADD COLUMN CHECKSUM VARCHAR(16);

INSERT INTO USERS VALUES
  (0, 'pelo0', 'Family zero', 'yes', 'admin', 'nowhere', '90/01/01 00:00:00', NULL, '90/01/01 00:00:00', '000'),
  (1, 'pelofam', 'The family', 'yes', 'admin', '1 Main St', '90/01/01 00:00:00', '', '95/05/05 05:05:05', '555-0001'),
  (2, 'ann', 'Ann Lee', 'no', 'dev', 'ann@example.com', '91/02/03 04:05:06', NULL, '91/02/03 04:05:06', '555-0102'),
  (3, 'bob', 'Bob O''Neil; `& co`', 'no', 'test', NULL, '92/03/04 05:06:07', NULL, '92/03/04 05:06:07', ''),
  (4, 'cid', '', 'no', '', '', '93/04/05 06:07:08', '99/09/09 09:09:09', '99/09/09 09:09:09', '555-0104'),
  (5, 'dee', 'Dee', 'no', 'ops', NULL, '94/05/06 07:08:09', NULL, '94/05/06 07:08:09', '555-0105');
INSERT INTO HOSTS VALUES (0, 'zero.example', 'pelo0', 7), (1, 'build.example', 'pelofam', 9),
  (2, 'ann-ws.example', 'ann', 0), (2, 'ann-lab.example', 'annl', 3), (5, 'dee.example', 'dee', 0);

INSERT INTO COMPONENTS VALUES
  (2, 'root', 1, 'the root', '90/01/01 00:00:00', NULL, '90/01/01 00:00:00', 'p', 'yes', 'yes', 'no', 'no'),
  (3, 'c3', 2, 'tools; `shell` & co', '91/01/01 00:00:00', '', '91/01/01 00:00:00', 'p', 'no', 'no', 'no', 'no'),
  (4, 'c4', 2, NULL, '91/01/01 00:00:00', NULL, '91/01/01 00:00:00', '', 'no', 'no', 'no', 'no'),
  (5, 'c5', 3, '', '91/01/01 00:00:00', '98/08/08 08:08:08', '98/08/08 08:08:08', 'p', 'no', 'no', 'yes', 'yes'),
  (6, 'c6', 4, 'six', '91/01/01 00:00:00', NULL, '91/01/01 00:00:00', 'p', 'no', 'no', 'no', 'no'),
  (7, 'c7', 2, 'seven', '91/01/01 00:00:00', NULL, '91/01/01 00:00:00', 'p', 'no', 'no', 'no', 'no'),
  (8, 'c8', 5, 'eight', '91/01/01 00:00:00', NULL, '91/01/01 00:00:00', 'p', 'no', 'no', 'no', 'no'),
  (9, 'c9', 5, 'nine', '91/01/01 00:00:00', NULL, '91/01/01 00:00:00', 'p', 'no', 'no', 'no', 'no');
INSERT INTO COMPMEMBERS VALUES (2, 3, 1, 0), (3, 4, 2, 0), (4, 5, 3, 1), (4, 6, 4, 0), (2, 7, 5, 0),
  (9, 2, 6, 0), (8, 9, 7, 0);

INSERT INTO RELEASES VALUES
  (1, 'rel1', 6, '', 'it''s `the` first; & best', 4, '96/01/01 00:00:00', NULL, '96/06/06 06:06:06', 10, 'track', 'yes', 'yes', 'yes', 'yes', 'yes'),
  (2, 'rel2', 2, 'yes', 'second', 0, '97/01/01 00:00:00', '', '97/06/06 06:06:06', 20, 'track', 'yes', 'no', 'yes', 'yes', 'no'),
  (3, 'rel3', 7, 'no', NULL, 1, '98/01/01 00:00:00', '99/12/31 23:59:59', '100/01/01 00:00:00', 0, '', '', '', '', '', ''),
  (4, 'rel4', 6, 'no', 'fourth', 5, '99/01/01 00:00:00', NULL, '99/06/06 06:06:06', 40, 'track', 'yes', 'yes', 'yes', 'yes', 'yes');
INSERT INTO ENVIRONMENTS VALUES ('env1', 1, 2), ('env3', 3, 3), ('env2', 2, 2), ('env4', 4, 5);
INSERT INTO APPROVERS VALUES (1, 3), (3, 2), (2, 4), (4, 5);

INSERT INTO LEVELS VALUES
  (11, 'r1l1', 1, 2, '96/02/02 00:00:00', '96/03/03 00:00:00', '96/03/03 00:00:00', 'complete', 'production', 3),
  (12, 'r1l2', 1, 3, '96/04/04 00:00:00', NULL, '96/04/04 00:00:00', 'complete', '', 0),
  (21, 'lvl1', 2, 2, '97/02/02 00:00:00', '97/03/03 00:00:00', '97/03/03 00:00:00', 'complete', 'test', 5),
  (31, 'r3l1', 3, 4, '98/02/02 00:00:00', '98/03/03 00:00:00', '98/03/03 00:00:00', 'complete', NULL, 1),
  (41, 'r4l1', 4, 5, '99/02/02 00:00:00', '99/03/03 00:00:00', '99/03/03 00:00:00', 'complete', 'x', 1);
INSERT INTO LEVELMEMBERS VALUES (11, 101), (12, 102), (21, 201), (31, 301), (41, 401);

INSERT INTO TRACKS VALUES
  (101, 1, 1, 2, 'complete', 'r1l1', 'r1l1', '96/02/02 01:00:00', '96/03/03 00:00:00'),
  (102, 1, 6, 3, 'complete', '', 'r1l2', '96/02/02 02:00:00', '96/04/04 00:00:00'),
  (201, 2, 2, 1, 'complete', NULL, 'lvl1', '97/02/02 01:00:00', '97/03/03 00:00:00'),
  (211, 2, 3, 3, 'complete', NULL, NULL, '97/04/01 00:00:00', '97/04/02 00:00:00'),
  (212, 2, 4, 4, 'complete', NULL, NULL, '97/04/01 00:00:00', '97/04/03 00:00:00'),
  (213, 2, 5, 4, 'complete', NULL, NULL, '97/04/01 00:00:00', '97/04/04 00:00:00'),
  (214, 2, 7, 4, 'complete', NULL, NULL, '97/04/01 00:00:00', '97/04/05 00:00:00'),
  (301, 3, 1, 4, 'complete', 'r3l1', 'r3l1', '98/02/02 01:00:00', '98/03/03 00:00:00'),
  (401, 4, 8, 5, 'complete', 'r4l1', 'r4l1', '99/02/02 01:00:00', '99/03/03 00:00:00');
INSERT INTO APPROVALS VALUES (101, 3, 'approve', '96/02/02 03:00:00', '96/02/02 04:00:00'),
  (201, 4, '', '97/02/02 03:00:00', '97/02/02 04:00:00'), (401, 5, 'approve', '99/02/02 03:00:00', '99/02/02 04:00:00');
INSERT INTO FIX VALUES (101, 2, 3, 'complete', '96/02/02 05:00:00', '96/02/02 06:00:00'),
  (201, 2, 5, 'complete', '97/02/02 05:00:00', '97/02/02 06:00:00'),
  (301, 4, 7, 'complete', '98/02/02 05:00:00', '98/02/02 06:00:00'),
  (401, 5, 6, 'complete', '99/02/02 05:00:00', '99/02/02 06:00:00');
INSERT INTO TESTS VALUES (101, 'env1', 2, 'accept', '96/02/02 07:00:00', '96/02/02 08:00:00'),
  (211, 'env2', 3, 'accept', '97/04/01 07:00:00', '97/04/01 08:00:00');
INSERT INTO COREQS VALUES (101, 7), (301, 7), (212, 8);

INSERT INTO DEFECTS VALUES
  (1, 'defect', '', 'd1', 3, 'env1', 'closed', NULL, 'can''t `run`; a & b', 'ref1', 'program_defect', 'r1l1',
   '98/03/03 00:00:00', '95/01/01 00:00:00', '95/01/02 00:00:00', NULL, '98/03/03 00:00:00', 2, 2, 3, '', 1,
   'high', 'ACME; `Inc` $(id) \ $HOME', 'gone', 'linux', '', 'b42'),
  (2, 'feature', 'f', 'f2', 5, NULL, 'closed', 'x', 'the second', NULL, NULL, 'lvl1',
   '97/03/03 00:00:00', '96/12/01 00:00:00', NULL, NULL, NULL, 3, 1, 0, NULL, 2,
   'low', 'n/a', NULL, NULL, NULL, NULL),
  (3, 'defect', NULL, 'd3', 5, '', 'closed', '2', 'held, taken', '', '', '',
   '97/04/02 00:00:00', '97/03/01 00:00:00', '', '', '', 3, 3, 1, '', 2,
   NULL, NULL, NULL, NULL, NULL, NULL),
  (4, 'defect', NULL, 'd4', 5, NULL, 'closed', NULL, 'held, not taken', NULL, NULL, NULL,
   '97/04/03 00:00:00', '97/03/01 00:00:00', NULL, NULL, NULL, 4, 4, 1, NULL, 2,
   'p4', 'c4', NULL, 'p4', 'o4', 'b4'),
  (5, 'defect', NULL, 'd5', 5, NULL, 'closed', NULL, 'held, nothing collected', NULL, NULL, NULL,
   '97/04/04 00:00:00', '97/03/01 00:00:00', NULL, NULL, NULL, 4, 4, 1, NULL, 2,
   NULL, NULL, NULL, NULL, NULL, NULL),
  (6, 'feature', NULL, 'f6', 4, NULL, 'closed', NULL, 'rel1 feature', NULL, NULL, 'r1l2',
   '96/04/04 00:00:00', '95/06/01 00:00:00', NULL, NULL, NULL, 5, 3, 9, NULL, 1,
   'urgent', NULL, NULL, NULL, NULL, NULL),
  (7, 'defect', NULL, 'd7', 5, NULL, 'closed', NULL, 'held, first change decides', NULL, NULL, NULL,
   '97/04/05 00:00:00', '97/03/01 00:00:00', NULL, NULL, NULL, 4, 4, 1, NULL, 2,
   NULL, NULL, NULL, NULL, NULL, NULL),
  (8, 'defect', NULL, 'd8', 6, NULL, 'closed', NULL, 'stays with rel4', NULL, NULL, NULL,
   '99/03/03 00:00:00', '99/01/01 00:00:00', NULL, NULL, NULL, 5, 5, 1, NULL, 4,
   NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO HISTORY VALUES (1, 2, 'open', '95/01/01 00:00:00'), (1, 2, 'close', '98/03/03 00:00:00'),
  (2, 1, 'open', '96/12/01 00:00:00'), (6, 5, 'open', '95/06/01 00:00:00'), (8, 5, 'open', '99/01/01 00:00:00');
INSERT INTO NOTES VALUES (1, 2, 'note', '95/01/01 00:00:00', 'first | second; it''s `x`'),
  (1, 4, 'close', '98/03/03 00:00:00', NULL), (2, 1, 'note', '96/12/01 00:00:00', 'line one
line two'),
  (8, 5, 'note', '99/01/01 00:00:00', 'rel4 only');
INSERT INTO VERIFY VALUES (1, 2, 'defect', 'accept', '98/03/03 00:00:00', '98/03/03 00:00:00'),
  (6, 5, 'feature', 'accept', '96/04/04 00:00:00', '96/04/04 00:00:00');
INSERT INTO SIZES VALUES (1, 3, 2, '95/01/03 00:00:00', '95/01/04 00:00:00', 'accept', 'small; `easy` & quick', 1),
  (1, 7, 4, '98/01/03 00:00:00', '98/01/04 00:00:00', 'accept', NULL, 3),
  (1, 6, 5, '99/01/03 00:00:00', '99/01/04 00:00:00', 'accept', 'rel4 sizing', 4),
  (2, 5, 1, '96/12/02 00:00:00', '96/12/03 00:00:00', 'reject', '', 2);

INSERT INTO PATH VALUES (1, 'src/a.c'), (2, 'src/b.c'), (3, 'src/c.c'), (4, 'src/gone.c'), (5, 'doc/it''s.txt'),
  (6, 'src/d.c'), (7, 'src/e.c'), (8, 'src/old-a.c'), (9, 'src/rel4.c');
INSERT INTO FILES VALUES
  (11, 3, 100, 8, 1, 1001, 1002, '96/02/02 00:00:00', '96/02/03 00:00:00', NULL, NULL, '96/02/03 00:00:00', 'a.c', 'text', 1, NULL, '644', 'c11'),
  (12, 4, 200, 5, 5, 2001, 2001, '96/02/02 00:00:00', '96/02/02 00:00:00', '', '96/09/09 00:00:00', '96/09/09 00:00:00', 'it''s.txt', 'text', 1, 'bob', '444', ''),
  (22, 5, 100, 1, 1, 1002, 1004, '97/02/02 00:00:00', '97/02/03 00:00:00', NULL, NULL, '97/02/03 00:00:00', 'a.c', 'text', 2, NULL, '644', 'c22'),
  (23, 5, 500, 2, 2, 5001, 5002, '97/02/02 00:00:00', '97/02/03 00:00:00', NULL, NULL, '97/02/03 00:00:00', 'b.c', 'binary', 2, NULL, '755', NULL),
  (24, 5, 600, 3, 3, 6001, 6001, '97/02/02 00:00:00', '97/02/02 00:00:00', NULL, NULL, '97/02/02 00:00:00', 'c.c', 'text', 2, NULL, '644', 'c24'),
  (31, 7, 300, 6, 7, 3001, 3002, '98/02/02 00:00:00', '98/02/03 00:00:00', NULL, NULL, '98/02/03 00:00:00', 'e.c', 'text', 3, 'cid', '600', 'c31'),
  (41, 6, 100, 9, 9, 1002, 1003, '99/02/02 00:00:00', '99/02/03 00:00:00', NULL, NULL, '99/02/03 00:00:00', 'rel4.c', 'text', 4, NULL, '644', 'c41');
INSERT INTO VERSIONS VALUES
  (1001, 0, 100, 2, 10, 8, 2, 'first', '96/02/02 00:00:00', '1.1', 100),
  (1002, 1001, 100, 2, 12, 9, 3, 'fix d1; it''s | piped', '96/02/03 00:00:00', '1.2', 120),
  (1003, 1002, 100, 5, 13, 10, 3, 'rel4', '99/02/03 00:00:00', '1.3', 130),
  (1004, 1002, 100, 1, 14, 11, 3, NULL, '97/02/03 00:00:00', '1.2.1.1', 140),
  (2001, 0, 200, 3, 1, 1, 0, '', '96/02/02 00:00:00', '1.1', 10),
  (3001, 0, 300, 4, 5, 5, 0, 'r3', '98/02/02 00:00:00', '1.1', 50),
  (3002, 3001, 300, 4, 6, 6, 0, 'r3 again', '98/02/03 00:00:00', '1.2', 60),
  (5001, 0, 500, 2, 0, 0, 0, 'bin', '97/02/02 00:00:00', '1.1', 2048),
  (5002, 5001, 500, 2, 0, 0, 0, 'bin 2', '97/02/03 00:00:00', '1.2', 4096),
  (6001, 0, 600, 4, 3, 3, 0, 'c', '97/02/02 00:00:00', '1.1', 30),
  (7001, 0, 700, 2, 1, 1, 0, 'destroyed in rel2', '97/02/02 00:00:00', '1.1', 10),
  (9001, 0, 900, 2, 1, 1, 0, 'destroyed in rel1', '96/02/02 00:00:00', '1.1', 10);
INSERT INTO CHANGES VALUES
  (8, 101, 11, 1001, 11, 'create', 2), (1, 101, 11, 1002, 11, 'delta', 2), (4, 101, 19, 9001, 11, 'delete', 2),
  (5, 102, 12, 2001, 12, 'create', 3),
  (1, 201, 22, 1004, 21, 'delta', 1), (2, 201, 23, 5002, 21, 'delta', 1), (4, 201, 29, 7001, 21, 'delete', 1),
  (1, 211, 22, 1002, 0, 'delta', 3), (2, 212, 23, 5002, 0, 'delta', 4), (3, 213, 24, 6001, 0, 'delta', 4),
  (2, 214, 23, 5002, 0, 'delta', 4), (1, 214, 22, 1001, 0, 'delta', 4),
  (6, 301, 31, 3001, 31, 'create', 4), (7, 301, 31, 3002, 31, 'rename', 4),
  (9, 401, 41, 1003, 41, 'delta', 5);

INSERT INTO SEQUENCE VALUES ('general', 40), ('defect', 8), ('source', 1234), ('track', 401), ('release', 4);
INSERT INTO AUTHORITY VALUES ('admin', 'open'), ('general', 'note');
INSERT INTO INTEREST VALUES ('owner', 'close');
INSERT INTO CONFIG VALUES ('severity', 'high', 'yes', 1, 2, 'the worst; it''s `bad` & sad'),
  ('answer', 'program_defect', 'no', 0, 0, NULL);
INSERT INTO CFGRELPROC VALUES ('track', 'track_full');
INSERT INTO CFGCOMPROC VALUES ('dsr', 'defect_dsr');
